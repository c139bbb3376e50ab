// The rows behind a cListView. With owner data it holds only a row count and asks the
// list's parent window for each cell Qt wants to draw; otherwise it keeps the texts and
// image numbers of its rows.
#pragma once
#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <vector>

class cListView;

class ListViewModel : public QAbstractTableModel {
  public:
    // Tenths of a percent for a cell of the progress column, -1 where there is no bar.
    static constexpr int ProgressRole = Qt::UserRole + 1;
    // True for a cell of the progress column whose bar reports a failure.
    static constexpr int FailedRole = Qt::UserRole + 2;

    ListViewModel(cListView* list, bool ownerData);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void insertTitle(int column, const QString& title);
    void setImages(std::vector<QIcon> icons);
    void setProgressColumn(int column) { progressColumn = column; }

    // Owner data: rows past the old count are added at the end and rows past the new
    // count removed from it, so the selection and current row below the new count stay;
    // every remaining cell is asked again when it is next drawn.
    void setItemCount(int count);

    // Real rows; rows and columns out of range are ignored, a row past the end is
    // inserted at the end.
    void insertItem(int row, const QString& text);
    void setItemText(int row, int column, const QString& text);
    void setItemImage(int row, int image);
    void deleteItem(int row);
    void deleteAllItems();

  private:
    struct Row {
        std::vector<QString> texts;
        int image = -1;
    };

    QString askText(int row, int column) const;
    int askImage(int row) const;
    int askProgress(int row, int column) const;
    bool askFailed(int row, int column) const;
    QString text(int row, int column) const;
    bool hasRow(int row) const { return row >= 0 && row < rowCount(); }

    cListView* list;
    bool ownerData;
    int virtualCount = 0;
    std::vector<Row> rows;
    std::vector<QString> titles;
    std::vector<QIcon> images;
    int progressColumn = -1;
};
