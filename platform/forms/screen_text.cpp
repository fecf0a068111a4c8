#include "forms/screen_text.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace forms::detail {

namespace {

const QChar kEllipsis(0x2026);

// The length of the character at `i` (a surrogate pair counts as one).
int CharLength(const QString& s, int i) {
  return s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate() ? 2 : 1;
}

}  // namespace

QSize ScreenRoom(int margin) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  QSize room = screen ? screen->availableGeometry().size() : QSize();
  if (!room.isValid() || room.isEmpty()) room = QSize(1024, 768);
  return room.shrunkBy(QMargins(margin, margin, margin, margin)).expandedTo(QSize(64, 64));
}

QString FitToRoom(const QString& text, const QFont& font, QSize room, Fit how) {
  const QFontMetrics fm(font);
  const int maxWidth = std::max(room.width(), fm.averageCharWidth() * 2);
  const int maxRows = std::max(1, room.height() / std::max(1, fm.lineSpacing()));
  const int ellipsisWidth = fm.horizontalAdvance(kEllipsis);
  QString out;
  int rows = 0;
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (true) {
    qsizetype end = text.indexOf(QLatin1Char('\n'), i);
    if (end < 0) end = n;
    // One line of the text, row by row.
    int rowWidth = 0;   // of the row being filled
    int wordWidth = 0;  // of the run of non-blanks that ends the row (BreakWords, WrapWords)
    qsizetype lastBlank = -1;  // where in `out` the row's last blank is (WrapWords)
    qsizetype j = i;
    while (j < end) {
      const int len = CharLength(text, static_cast<int>(j));
      const QString ch = text.mid(j, len);
      const int w = fm.horizontalAdvance(ch);
      const bool blank = ch.at(0).isSpace();
      bool newRow = false;
      qsizetype rowStart = -1;  // where the new row's line break is in `out` (WrapWords)
      if (how == Fit::WrapWords) {
        if (rowWidth + w > maxWidth) {
          if (blank) {
            rowStart = out.size();
            out += QLatin1Char('\n');  // the blank that does not fit is where the row ends
            rowWidth = 0;
            wordWidth = 0;
          } else if (lastBlank >= 0) {
            out[lastBlank] = QLatin1Char('\n');  // the row ends at its last blank
            rowStart = lastBlank;
            rowWidth = wordWidth;
          } else {
            rowStart = out.size();
            out += QLatin1Char('\n');  // a word wider than the row goes on in the next one
            rowWidth = 0;
            wordWidth = 0;
          }
          lastBlank = -1;
          newRow = true;
        }
        if (newRow && ++rows >= maxRows) {
          out.truncate(rowStart);
          out += kEllipsis;
          return out;
        }
        if (newRow && blank) {
          j += len;
          continue;
        }
        if (blank) {
          lastBlank = out.size();
          wordWidth = 0;
        } else {
          wordWidth += w;
        }
        out += ch;
        rowWidth += w;
        j += len;
        continue;
      }
      if (how == Fit::BreakWords) {
        wordWidth = blank ? 0 : wordWidth + w;
        if (wordWidth > maxWidth) {
          out += QLatin1Char('\n');  // the word goes on in a row of its own
          wordWidth = w;
          rowWidth = 0;
          newRow = true;
        } else if (rowWidth + w > maxWidth) {
          rowWidth = wordWidth - w;  // the box wraps at the last blank
          newRow = true;
        }
      } else if (rowWidth + w > maxWidth - (how == Fit::CutLines ? ellipsisWidth : 0)) {
        if (how == Fit::CutLines) {
          out += kEllipsis;
          j = end;
          break;
        }
        out += QLatin1Char('\n');
        rowWidth = 0;
        newRow = true;
      }
      if (newRow && ++rows >= maxRows) {
        if (out.endsWith(QLatin1Char('\n'))) out.chop(1);
        out += kEllipsis;
        return out;
      }
      out += ch;
      rowWidth += w;
      j += len;
    }
    if (end >= n) return out;
    if (++rows >= maxRows) {
      out += kEllipsis;
      return out;
    }
    out += QLatin1Char('\n');
    i = end + 1;
  }
}

QString FitToCell(const QString& text) {
  const int most = ScreenRoom().width();
  if (text.size() <= most) return text;
  qsizetype cut = most;
  if (text.at(cut - 1).isHighSurrogate()) --cut;
  return text.left(cut);
}

}  // namespace forms::detail
