#pragma once

#include <QObject>

// Makes a held key act once: the auto-repeated presses of Return, Enter and Escape (and
// their shortcut overrides) are dropped before any widget sees them, so no button, default
// button, menu entry or dialog answers a question or runs a command again while the key is
// held. Installed on the application.
class HeldKeyFilter final : public QObject
{
    Q_OBJECT

public:
    explicit HeldKeyFilter(QObject *parent = nullptr);

    // True for an event this filter drops.
    static bool isHeldCommandKey(const QEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
