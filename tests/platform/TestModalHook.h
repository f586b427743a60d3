#pragma once
// Answers the toolkit's own modal windows (message boxes, choosers, dialogs) before they
// appear, so that window tests can run the real path of the layer without a person.

#include <functional>
#include <utility>

#include <wx/modalhook.h>

class TestModalHook : public wxModalDialogHook {
public:
    // `answer` sees the window about to be shown and returns its toolkit result.
    explicit TestModalHook(std::function<int(wxDialog*)> answer) : m_answer(std::move(answer)) { Register(); }
    ~TestModalHook() override { Unregister(); }

    int entered = 0;

protected:
    int Enter(wxDialog* dialog) override {
        ++entered;
        return m_answer(dialog);
    }

private:
    std::function<int(wxDialog*)> m_answer;
};
