// The output window: the whole session as text, editable and copyable like any text field.
#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace omrix::shell {

class COutputEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit COutputEdit(QWidget* parent = nullptr);

  // One piece of output, with one leading blank, at the insertion point; the insertion point
  // stays behind it. `text` is already decoded for people.
  void AppendOutput(const QString& text);

  // Every line of the window, whole, in order.
  QStringList Lines() const;

 signals:
  // What AppendOutput put into the window, its leading blank included.
  void Appended(const QString& text);
};

}  // namespace omrix::shell
