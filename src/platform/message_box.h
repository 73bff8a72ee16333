#pragma once
// The message-box port: error and warning boxes, and the Yes/No question.
// Error boxes have the caption "Błąd!" and the error icon; warnings and questions "Uwaga!" and the
// warning icon; the alarm (no disk has room for the recordings) "UWAGA!" and the warning icon; a
// plain message (a test mail went out) "Informacja" and the information icon. The Qt
// implementation lives with the windows; the headless one writes to stderr.

#include <string>
#include <string_view>

namespace kel {

enum class BoxKind { Error, Warning, Question, Alarm, Information };

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Shows the box modally. For a question the result is true for Yes; otherwise always true.
    virtual bool Show(BoxKind kind, std::string_view text) = 0;

    void Error(std::string_view text) { Show(BoxKind::Error, text); }
    void Warning(std::string_view text) { Show(BoxKind::Warning, text); }
    void Alarm(std::string_view text) { Show(BoxKind::Alarm, text); }
    void Inform(std::string_view text) { Show(BoxKind::Information, text); }
    bool Ask(std::string_view text) { return Show(BoxKind::Question, text); }

    static const char* Caption(BoxKind kind);
};

// No screen: the box goes to standard error; a question is answered by `answer`.
class HeadlessMessageBox : public MessageBox {
public:
    explicit HeadlessMessageBox(bool answer) : answer_(answer) {}
    bool Show(BoxKind kind, std::string_view text) override;

private:
    bool answer_;
};

// Boxes go to the wrapped port until End: from then on (the session is ending) none is shown,
// a question is answered No and the text goes to standard error, so nothing waits for a person.
class EndingMessageBox : public MessageBox {
public:
    explicit EndingMessageBox(MessageBox& inner) : inner_(inner), gone_(false) {}
    bool Show(BoxKind kind, std::string_view text) override;
    void End() { ending_ = true; }
    bool Ending() const { return ending_; }

private:
    MessageBox& inner_;
    HeadlessMessageBox gone_;
    bool ending_ = false;  // window thread only
};

// --yes: every question is answered Yes without being shown; other boxes go to the wrapped port.
class AutoYesMessageBox : public MessageBox {
public:
    explicit AutoYesMessageBox(MessageBox& inner) : inner_(inner) {}
    bool Show(BoxKind kind, std::string_view text) override;

private:
    MessageBox& inner_;
};

}  // namespace kel
