// The about box: version, links to the maker's pages and a Close button. It runs
// modally: Create returns when the box has been closed.
#pragma once
#include "CWnd.h"
#include "WebAddresses.h"

#include <functional>
#include <string>

class CDlgAbout : public CWnd {
  public:
    static constexpr int TEMPLATE_ID = 102;
    static constexpr int IDC_VERSION = 1003;
    static constexpr int IDC_HOMEPAGE = 1004;
    static constexpr int IDC_CONTACT = 1005;
    static constexpr int IDC_HOWTO = 1006;
    static constexpr int IDC_CLOSE = IDOK;

    // A link is only drawn and clickable when its address is configured; a click hands
    // the address to `open`.
    CDlgAbout(const WebAddresses& web, std::function<void(const std::string&)> open);

    // Shows the box modally under `parent` and returns when it is closed; always null,
    // as the window is gone by then.
    QWidget* Create(QWidget* parent, int templateId) override;
    intptr_t WndProcCustom(QWidget* window, unsigned message, uintptr_t wparam,
                           intptr_t lparam) override;

  protected:
    void buildTemplate(QWidget* dialog, int templateId) override;

  private:
    void addLink(QWidget* dialog, int id, const char* text, const std::string& address, int top);

    WebAddresses web;
    std::function<void(const std::string&)> open;
};
