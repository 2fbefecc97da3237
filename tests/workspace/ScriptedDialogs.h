#pragma once

#include "workspace/Dialogs.h"

#include <deque>
#include <vector>

namespace vistamaze::test {

// Dialogs for tests: each dialog takes the next answer from its queue (a dialog asked with an
// empty queue fails the current test and answers "cancelled"); every request and every message
// shown is recorded. Nothing ever blocks.
class ScriptedDialogs final : public Dialogs {
public:
    struct Message {
        MessageKind kind;
        QString text;
    };

    void QueueOpenFile(std::optional<QString> answer) { openAnswers_.push_back(std::move(answer)); }
    void QueueSaveFile(std::optional<QString> answer) { saveAnswers_.push_back(std::move(answer)); }
    // The next save dialog is the program's real one (QtDialogs), for a test that drives it.
    void QueueRealSaveDialog() { ++realSaveDialogs_; }
    void QueueColor(std::optional<QColor> answer) { colorAnswers_.push_back(std::move(answer)); }
    void QueueFont(std::optional<QFont> answer) { fontAnswers_.push_back(std::move(answer)); }

    [[nodiscard]] const std::vector<Message>& Messages() const noexcept { return messages_; }
    [[nodiscard]] const std::vector<FileDialogRequest>& OpenRequests() const noexcept {
        return openRequests_;
    }
    [[nodiscard]] const std::vector<FileDialogRequest>& SaveRequests() const noexcept {
        return saveRequests_;
    }
    void ClearMessages() { messages_.clear(); }

    [[nodiscard]] std::optional<QString> OpenFile(QWidget* parent, const FileDialogRequest& request) override;
    [[nodiscard]] std::optional<QString> SaveFile(QWidget* parent, const FileDialogRequest& request) override;
    void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) override;
    [[nodiscard]] std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) override;
    [[nodiscard]] std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) override;

private:
    std::deque<std::optional<QString>> openAnswers_;
    std::deque<std::optional<QString>> saveAnswers_;
    std::deque<std::optional<QColor>> colorAnswers_;
    std::deque<std::optional<QFont>> fontAnswers_;
    std::vector<FileDialogRequest> openRequests_;
    std::vector<FileDialogRequest> saveRequests_;
    std::vector<Message> messages_;
    int realSaveDialogs_ = 0;
};

}  // namespace vistamaze::test
