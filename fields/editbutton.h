#pragma once

#include <QAbstractButton>

namespace mk {

// The small button inside the right edge of an edit-with-button: a raised
// (sunken while pressed) bevel with three dots across its middle, grey when
// the owning edit is disabled. It never takes the focus from its edit.
class TEditButton : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int ButtonWidth = 20;

    explicit TEditButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace mk
