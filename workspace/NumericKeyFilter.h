#pragma once

class QLineEdit;

namespace vistamaze {

// Lets only the digits 0 to 9 be typed into `edit`; other typed characters are discarded.
// Keys that type no printable character (backspace, Tab, Enter, arrows, Delete, shortcuts such as
// Ctrl+C) pass, and text pasted from the clipboard is not filtered: whoever reads the field must
// cope with text that is not a number. The filter is owned by `edit`.
void InstallNumericKeyFilter(QLineEdit* edit);

}  // namespace vistamaze
