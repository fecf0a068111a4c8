#pragma once
// The date and time picker. Its value is a TDateTime (sysutils.h).
#include "forms/control.h"
#include "forms/sysutils.h"

namespace forms {

enum TDateTimeKind { dtkDate, dtkTime };
enum TDTDateFormat { dfShort, dfLong };

class TDateTimePicker : public TWinControl {
 public:
  TDateTimePicker(TComponent* Owner, TWinControl* Parent);
  TDateTime DateTime() const { return value_; }
  void SetDateTime(TDateTime v);
  TDateTime Date() const;  // the date part
  void SetDate(TDateTime d);  // keeps the time part
  TDateTime Time() const;
  void SetTime(TDateTime t);
  TDateTimeKind Kind() const { return kind_; }
  void SetKind(TDateTimeKind k);
  TDTDateFormat DateFormat() const { return format_; }
  void SetDateFormat(TDTDateFormat f);
  // The text shown in the box, in the short or long date format (the time format for dtkTime).
  std::string Text() const;

  // OnChange: every change of the value (user or code). OnCloseUp: the drop-down calendar
  // was closed, whichever way (a day clicked, Enter, Escape, a click outside it).
  TNotifyEvent OnChange;
  TNotifyEvent OnCloseUp;

  // The user's road: picks a day in the drop-down calendar (OnChange, then OnCloseUp).
  void UserPickDate(TDateTime day);

 private:
  void Display();
  TDateTime value_ = 0;
  TDateTimeKind kind_ = dtkDate;
  TDTDateFormat format_ = dfShort;
};

}  // namespace forms
