#include "ui/qt/qt_shell.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace klm::ui::qt {

namespace {
// Pages are addressed as help:/page.html so that relative links resolve
// against the current page and come back to loadResource.
constexpr const char* kScheme = "help";
}  // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) { setOpenExternalLinks(true); }

void HelpBrowser::ShowTopic(const std::string& topic) {
  QUrl url(QString::fromUtf8("/" + topic));
  url.setScheme(kScheme);
  setSource(url);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
  if (book_ && type == QTextDocument::HtmlResource && (name.scheme() == kScheme || name.isRelative())) {
    std::string page = name.path().toStdString();
    while (!page.empty() && page.front() == '/') page.erase(0, 1);
    if (const HelpPage* p = book_->Page(page)) return QString::fromUtf8(p->html);
    return QString::fromUtf8("<p>This topic is not in the help book.</p>");
  }
  return QTextBrowser::loadResource(type, name);
}

HelpWindow::HelpWindow() {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(tr("Help"));
  browser_ = new HelpBrowser(this);
  auto* back = new QPushButton(tr("Back"), this);
  auto* contents = new QPushButton(tr("Contents"), this);
  back->setEnabled(false);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
  connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
    const QString title = browser_->documentTitle();
    setWindowTitle(title.isEmpty() ? tr("Help") : title);
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addWidget(contents);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_);
  resize(560, 480);
}

Status QtShell::ShowHelp(const std::filesystem::path& book, std::uint32_t context) {
  auto opened = HelpBook::Open(book);
  if (!opened) return opened.error();
  const std::string topic = opened->TopicFor(context);
  const std::string start = opened->start_page();
  if (!window_) window_ = new HelpWindow;
  HelpBrowser& browser = window_->browser();
  browser.SetBook(std::move(opened).value());
  // The start page first, so that Contents (home) leads there.
  if (browser.source().isEmpty()) browser.ShowTopic(start);
  browser.ShowTopic(topic);
  window_->show();
  window_->raise();
  window_->activateWindow();
  return {};
}

void QtShell::CloseHelp() {
  if (window_) window_->close();
}

}  // namespace klm::ui::qt
