// The results list as Qt sees it: a table model that holds no rows itself and answers
// every cell the view asks for from the shown page, as a virtual list asks its owner.
#pragma once
#include "ResultPages.h"

#include <QAbstractTableModel>

#include <memory>

class ResultTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    ResultTableModel(ResultPages& pages, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The cell text of the shown page; empty outside its rows and columns.
    const char* cellText(int row, int col) const;
    // Shows `fresh` in place of the current page (window thread).
    void showPage(std::unique_ptr<tRecordData> fresh);
    // "Filtered by subject: holiday, size: >100" for the columns with a filter, or empty.
    QString activeFilters() const;

    // What a filtered column's title ends with.
    static constexpr const char* FILTER_MARK = " *";

  private:
    // Blanks alone, as the lists' first entry, filter nothing.
    static bool hasFilter(const std::string& filter);
    static QString nameOf(const tColumn& column);

    ResultPages& pages;
};
