#include "ui/qt/qt_prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

#include "ui/dialog_codes.h"

namespace klm::ui::qt {

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

void AddItems(QMenu& menu, const std::vector<res::MenuItem>& items) {
  for (const res::MenuItem& item : items) {
    if (item.separator) {
      menu.addSeparator();
    } else if (!item.children.empty()) {
      AddItems(*menu.addMenu(Q(item.text)), item.children);
    } else {
      menu.addAction(Q(item.text))->setData(item.id);
    }
  }
}

std::optional<std::filesystem::path> WithExtension(const QString& chosen, const FileDialogOptions& options) {
  if (chosen.isEmpty()) return std::nullopt;
  QString path = chosen;
  if (!options.default_extension.empty() && QFileInfo(path).suffix().isEmpty())
    path += "." + Q(options.default_extension);
  return std::filesystem::path(path.toStdString());
}
}  // namespace

QString QtFilter(const FileDialogOptions& options) {
  QStringList parts;
  for (const auto& [description, patterns] : options.filters) {
    QString p = Q(patterns);
    p.replace(';', ' ');
    parts << Q(description) + " (" + p + ")";
  }
  return parts.join(";;");
}

int QtPrompts::MessageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
  QMessageBox box(owner_);
  box.setWindowTitle(caption.empty() ? QStringLiteral("Error") : Q(caption));
  box.setText(Q(text));
  switch (style & MB_ICONMASK) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  struct Button {
    QMessageBox::StandardButton qt;
    int id;
  };
  std::vector<Button> buttons;
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNO: buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    default: buttons = {{QMessageBox::Ok, IDOK}}; break;
  }
  QMessageBox::StandardButtons set;
  for (const Button& b : buttons) set |= b.qt;
  box.setStandardButtons(set);
  box.setDefaultButton(buttons.front().qt);
  const int answer = box.exec();
  for (const Button& b : buttons)
    if (answer == b.qt) return b.id;
  // Closed without a button: the platform answers the cancel button, else the only one.
  for (const Button& b : buttons)
    if (b.id == IDCANCEL || b.id == IDNO) return b.id;
  return buttons.front().id;
}

std::optional<std::filesystem::path> QtPrompts::OpenFile(const FileDialogOptions& options) {
  QFileDialog::Options flags;
  const QString chosen = QFileDialog::getOpenFileName(owner_, Q(options.title), Q(options.initial.string()),
                                                      QtFilter(options), nullptr, flags);
  return WithExtension(chosen, options);
}

std::optional<std::filesystem::path> QtPrompts::SaveFile(const FileDialogOptions& options) {
  QFileDialog::Options flags;
  if (!options.overwrite_prompt) flags |= QFileDialog::DontConfirmOverwrite;
  const QString chosen = QFileDialog::getSaveFileName(owner_, Q(options.title), Q(options.initial.string()),
                                                      QtFilter(options), nullptr, flags);
  return WithExtension(chosen, options);
}

std::optional<std::filesystem::path> QtPrompts::BrowseForFolder(const std::string& title) {
  const QString chosen = QFileDialog::getExistingDirectory(owner_, Q(title));
  if (chosen.isEmpty()) return std::nullopt;
  return std::filesystem::path(chosen.toStdString());
}

int QtPrompts::PopupMenu(const res::MenuItem& popup, int x, int y) {
  QMenu menu(owner_);
  AddItems(menu, popup.children);
  const QPoint at = owner_ ? owner_->mapToGlobal(QPoint(x, y)) : QPoint(x, y);
  QAction* chosen = menu.exec(at);
  return chosen ? chosen->data().toInt() : 0;
}

}  // namespace klm::ui::qt
