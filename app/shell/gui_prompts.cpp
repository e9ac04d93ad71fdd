#include "gui_prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>

#include "commands/people_text.h"

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
  QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::Warning,
                  QStringLiteral("omrix"), People(text), shown, owner_);
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
