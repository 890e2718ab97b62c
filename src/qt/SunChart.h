// The Sun's year on "Utilidades": paints the chart control (form::Kind::Chart) as the
// model holds it: daylight between sunrise and sunset over a 24-hour axis, the three
// lines, the months along the bottom and the chosen day.
#pragma once

#include <QWidget>

#include "form/Controls.h"

namespace qt {

class SunChart : public QWidget {
  public:
    SunChart(const form::Control& chart, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const form::Control& chart_;
};

}  // namespace qt
