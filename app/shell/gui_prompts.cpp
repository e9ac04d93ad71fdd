#include "gui_prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMessageBox>
#include <QSettings>
#include <QTreeView>

#include "commands/library_files.h"
#include "commands/people_text.h"
#include "progress_window.h"

namespace omrix::shell {

using omrix::commands::Answer;
using omrix::commands::Buttons;
using omrix::commands::FileChooser;
using omrix::commands::Icon;

namespace {

QString People(const std::string& bytes) {
  return QString::fromStdString(omrix::commands::PeopleText(bytes));
}

// "*.bin" -> "bin"
QString Extension(const std::string& pattern) {
  return People(pattern).section(QLatin1Char('.'), -1);
}

// Wide enough that a row of the detail view (name, size, type, date) reads whole.
constexpr int kChooserWidth = 720;
constexpr int kChooserHeight = 460;

QString FirstDirectory(FileChooser::Kind kind) {
  // Open choosers start where the designs and sample files lie, beside the library.
  const QString library = kind == FileChooser::Kind::Open
                              ? QFile::decodeName(omrix::commands::LibraryDirectory().c_str())
                              : QString();
  return library.isEmpty() ? QDir::homePath() : library;
}

// The detail view's columns as wide as what they show, once the directory is read (and again
// at each directory the person opens).
void FitColumns(QFileDialog& dialog) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  auto* view = dialog.findChild<QTreeView*>();
  if (model == nullptr || view == nullptr) return;
  QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
    for (int column = 0; column < view->header()->count(); ++column)
      view->resizeColumnToContents(column);
  });
}

}  // namespace

Answer CGuiPrompts::MessageBox(const std::string& text, Buttons buttons, Icon icon) {
  QMessageBox::StandardButtons shown = QMessageBox::Ok;
  QMessageBox::StandardButton unattended = QMessageBox::Ok;
  if (buttons == Buttons::OkCancel) {
    shown = QMessageBox::Ok | QMessageBox::Cancel;
    unattended = QMessageBox::Cancel;
  }
  if (buttons == Buttons::YesNo) {
    shown = QMessageBox::Yes | QMessageBox::No;
    unattended = QMessageBox::No;
  }
  QMessageBox::Icon shownIcon = QMessageBox::Warning;
  if (icon == Icon::Question) shownIcon = QMessageBox::Question;
  if (icon == Icon::Information) shownIcon = QMessageBox::Information;
  QMessageBox box(shownIcon, QStringLiteral("omrix"), People(text), shown, owner_);
  shown_ = &box;
  withdrawnAnswer_ = unattended;
  switch (withdrawn_ ? unattended : box.exec()) {
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
  const QString remembered = settings.value(title).toString();
  QFileDialog dialog(owner_, title,
                     remembered.isEmpty() ? FirstDirectory(chooser.kind) : remembered);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setViewMode(QFileDialog::Detail);
  dialog.resize(kChooserWidth, kChooserHeight);
  FitColumns(dialog);
  // The library reports a file that is not there; a save replaces without asking.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(chooser.kind == FileChooser::Kind::Save ? QFileDialog::AcceptSave
                                                               : QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const auto& type : chooser.types) filters << People(type.description);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(Extension(chooser.types.front().pattern));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, &chooser, filters](const QString& filter) {
                     const auto index = filters.indexOf(filter);
                     if (index >= 0)
                       dialog.setDefaultSuffix(
                           Extension(chooser.types[static_cast<std::size_t>(index)].pattern));
                   });
  dialog.selectFile(People(chooser.initialName));
  shown_ = &dialog;
  withdrawnAnswer_ = QDialog::Rejected;
  if (withdrawn_ || dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  const QString chosen = dialog.selectedFiles().first();
  // The file's own directory: a typed path may lead elsewhere than the one shown.
  settings.setValue(title, QFileInfo(chosen).absolutePath());
  return QFile::encodeName(chosen).toStdString();
}

void CGuiPrompts::Beep() { QApplication::beep(); }

void CGuiPrompts::Withdraw() {
  withdrawn_ = true;
  if (shown_ != nullptr) shown_->done(withdrawnAnswer_);
}

std::unique_ptr<omrix::commands::Progress> CGuiPrompts::ShowProgress() {
  class WindowProgress final : public omrix::commands::Progress {
   public:
    WindowProgress(QWidget* parent, bool stopped) : window_(parent) {
      if (stopped) window_.RequestStop();
    }
    void StepIt() override { window_.StepIt(); }
    bool CheckCancel() override { return window_.CheckCancel(); }

   private:
    CProgressWindow window_;
  };
  QWidget* dialog = QApplication::activeModalWidget();
  return std::make_unique<WindowProgress>(dialog != nullptr ? dialog : owner_, withdrawn_);
}

}  // namespace omrix::shell
