#include "gui_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>

#include "commands/people_text.h"
#include "progress_window.h"

using omrix::commands::Answer;
using omrix::commands::Buttons;
using omrix::commands::FileChooser;
using omrix::commands::Icon;

namespace {

QString People(const std::string& bytes) {
  return QString::fromStdString(omrix::commands::PeopleText(bytes));
}

// "*.bin" -> "bin"
QString Extension(const std::string& pattern) { return People(pattern).section(QLatin1Char('.'), -1); }

}  // namespace

Answer CGuiPrompts::MessageBox(const std::string& text, Buttons buttons, Icon icon) {
  QMessageBox::StandardButtons shown = QMessageBox::Ok;
  if (buttons == Buttons::OkCancel) shown = QMessageBox::Ok | QMessageBox::Cancel;
  if (buttons == Buttons::YesNo) shown = QMessageBox::Yes | QMessageBox::No;
  QMessageBox::Icon shownIcon = QMessageBox::Warning;
  if (icon == Icon::Question) shownIcon = QMessageBox::Question;
  if (icon == Icon::Information) shownIcon = QMessageBox::Information;
  QMessageBox box(shownIcon, QStringLiteral("omrix"), People(text), shown, owner_);
  switch (box.exec()) {
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Ok;
  }
}

std::optional<std::string> CGuiPrompts::ChooseFile(const FileChooser& chooser) {
  const QString title = People(chooser.title);
  QSettings settings;
  settings.beginGroup(QLatin1String(kChooserGroup));
  QFileDialog dialog(owner_, title, settings.value(title).toString());
  // The library reports a file that is not there; a save replaces without asking.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(chooser.kind == FileChooser::Kind::Save ? QFileDialog::AcceptSave
                                                               : QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const auto& type : chooser.types) filters << People(type.description);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(Extension(chooser.types.front().pattern));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &chooser, filters](const QString& filter) {
    const int index = static_cast<int>(filters.indexOf(filter));
    if (index >= 0) dialog.setDefaultSuffix(Extension(chooser.types[static_cast<std::size_t>(index)].pattern));
  });
  dialog.selectFile(People(chooser.initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  settings.setValue(title, dialog.directory().absolutePath());
  return dialog.selectedFiles().first().toStdString();
}

void CGuiPrompts::Beep() { QApplication::beep(); }

std::unique_ptr<omrix::commands::Progress> CGuiPrompts::ShowProgress() {
  class WindowProgress final : public omrix::commands::Progress {
   public:
    explicit WindowProgress(QWidget* parent) { window_.Create(parent); }
    void StepIt() override { window_.StepIt(); }
    bool CheckCancel() override { return window_.CheckCancel(); }

   private:
    CProgressWindow window_;
  };
  QWidget* dialog = QApplication::activeModalWidget();
  return std::make_unique<WindowProgress>(dialog != nullptr ? dialog : owner_);
}
