#pragma once
// What the user reads of a text handed to a widget: widgets that take text in their automatic
// format read anything that looks like markup as markup.
#include <QString>
#include <QTextDocument>

namespace forms::testing {

inline QString WhatTheUserReads(const QString& text, Qt::TextFormat format) {
  const bool markup = format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
  if (!markup) return text;
  QTextDocument document;
  document.setHtml(text);
  return document.toPlainText();
}

}  // namespace forms::testing
