#include "tests/workspace/ScriptedDialogs.h"

#include "workspace/QtDialogs.h"

#include <gtest/gtest.h>

namespace vistamaze::test {

namespace {

template <typename T>
std::optional<T> NextAnswer(std::deque<std::optional<T>>& queue, const char* dialog) {
    if (queue.empty()) {
        ADD_FAILURE() << "unexpected " << dialog << " dialog: no scripted answer left";
        return std::nullopt;
    }
    std::optional<T> answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

}  // namespace

std::optional<QString> ScriptedDialogs::OpenFile(QWidget* /*parent*/, const FileDialogRequest& request) {
    openRequests_.push_back(request);
    return NextAnswer(openAnswers_, "open file");
}

std::optional<QString> ScriptedDialogs::SaveFile(QWidget* parent, const FileDialogRequest& request) {
    saveRequests_.push_back(request);
    if (realSaveDialogs_ > 0) {
        --realSaveDialogs_;
        return QtDialogs().SaveFile(parent, request);
    }
    return NextAnswer(saveAnswers_, "save file");
}

void ScriptedDialogs::ShowMessage(QWidget* /*parent*/, MessageKind kind, const QString& text) {
    messages_.push_back({kind, text});
}

std::optional<QColor> ScriptedDialogs::ChooseColor(QWidget* /*parent*/, const QColor& /*initial*/) {
    return NextAnswer(colorAnswers_, "colour");
}

std::optional<QFont> ScriptedDialogs::ChooseFont(QWidget* /*parent*/, const QFont& /*initial*/) {
    return NextAnswer(fontAnswers_, "font");
}

}  // namespace vistamaze::test
