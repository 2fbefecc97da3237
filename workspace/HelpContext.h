#pragma once

class QWidget;

namespace vistamaze {

// Help context numbers of the program's windows and tabs: F1 shows the page of a context.
inline constexpr int kHelpAnimation = 40;
inline constexpr int kHelpConfiguration = 100;
inline constexpr int kHelpPreview = 115;
inline constexpr int kHelpMainWindow = 130;
inline constexpr int kHelpStereogramTab = 140;
inline constexpr int kHelpModelTab = 150;

// Gives `widget` (and, through HelpContextOf, its children without one of their own) a help
// context, stored as a dynamic property of the widget. A context of 0 removes it.
void SetHelpContext(QWidget* widget, int context);

// The help context of `widget` or else of its nearest parent that has one; 0 when none has (or
// `widget` is null).
[[nodiscard]] int HelpContextOf(const QWidget* widget);

}  // namespace vistamaze
