#include "output_edit.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace omrix::shell {

namespace {
constexpr int kFontPoints = 8;
}

COutputEdit::COutputEdit(QWidget* parent) : QPlainTextEdit(parent) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(kFontPoints);
  setFont(font);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // No limit: nothing the user reads is dropped.
  setMaximumBlockCount(0);
}

void COutputEdit::AppendOutput(const QString& text) {
  QTextCursor cursor = textCursor();
  cursor.setPosition(cursor.selectionEnd());  // a selection is collapsed to its end, never replaced
  const QString piece = QLatin1Char(' ') + text;
  cursor.insertText(piece);
  setTextCursor(cursor);
  ensureCursorVisible();
  emit Appended(piece);
}

QStringList COutputEdit::Lines() const {
  QStringList lines;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
    lines << block.text();
  return lines;
}

}  // namespace omrix::shell
