#pragma once

class QLineEdit;

namespace vistamaze {

// Lets only the digits 0 to 9 be typed into `edit`; other typed characters are discarded.
// Keys that type no printable character (backspace, Tab, Enter, arrows, Delete, shortcuts such as
// Ctrl+C) pass, and text pasted from the clipboard is not filtered: whoever reads the field must
// cope with text that is not a number. The filter is owned by `edit`.
//
// With `maxTypedLength` above 0, a digit that would make the text longer than that is discarded
// too. The limit is for typing only: text set by the program (a value read back from the engine,
// "0.001") and pasted text show in full, unlike QLineEdit::maxLength, which cuts them.
void InstallNumericKeyFilter(QLineEdit* edit, int maxTypedLength = 0);

}  // namespace vistamaze
