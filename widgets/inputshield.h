#pragma once

#include <functional>

#include <QObject>

namespace widgets {

// While it lives, user input to every window of the application (keys, clicks, the wheel,
// drags) is taken away, but for Escape, which calls `onEscape`: for a run or a wait that the
// window must not be used during, and that the user may still stop.
class InputShield final : public QObject
{
public:
    explicit InputShield(std::function<void()> onEscape);
    ~InputShield() override;
    InputShield(const InputShield &) = delete;
    InputShield &operator=(const InputShield &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_onEscape;
};

} // namespace widgets
