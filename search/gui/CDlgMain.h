// The search tool's main window.
#pragma once
#include "CWnd.h"

class CDlgMain : public CWnd {
  public:
    static constexpr int TEMPLATE_ID = 100;

    intptr_t WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                           intptr_t lparam) override;

  protected:
    void buildTemplate(QWidget* dialog, int templateId) override;

  private:
    void OnCmdClose();
};
