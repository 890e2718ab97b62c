// The map of a conversion tab's point: a window of its own that paints the scene the
// window logic draws (convert/PointMap.h) and follows the tab's point. It zooms with the
// wheel, the keys + and - and its buttons, moves with a drag and the arrow keys, and
// opens the point in a web map. A click on the map sets no point: the typed fields are
// the user's alone.
#pragma once

#include <QRectF>
#include <QWidget>
#include <optional>
#include <string>

#include "app/frmTalpor.h"
#include "convert/PointMap.h"

class QLabel;

namespace qt {

class MapWindow : public QWidget {
  public:
    MapWindow(app::frmTalpor& frm, QWidget* parent);

    // Shows the point of tab 0 or 1.
    void SetTab(int tab);
    // Paints the point as the model holds it now.
    void Follow();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QRect MapRect() const;
    void Zoom(double factor);
    void ToPoint();

    app::frmTalpor& frm_;
    int tab_ = 0;
    convert::MapView view_;
    std::optional<geo::LatLon> followed_;  // the point the view last followed
    bool fitted_ = false;
    QPoint dragFrom_;
    QLabel* caption_ = nullptr;
    // Where the last paint put the arrow with its label, and the arrow's line of the
    // legend (window coordinates), and what their tooltip says.
    QRectF arrowBox_, legendArrow_;
    std::string arrowTip_;
};

}  // namespace qt
