#pragma once

#include <QRect>

class QWidget;

namespace vellumet
{

// The window's design is in twips (1440 to the inch); the toolkit places widgets in
// device-independent pixels, 15 twips each at 96 dpi.
class Twips
{
public:
    explicit Twips(double logicalDpi = 96.0) : perPixel_(1440.0 / logicalDpi) {}

    // The logical dpi of the screen the widget is on (96 when it has none yet).
    static Twips forWidget(const QWidget *widget);

    double perPixel() const { return perPixel_; }
    float fromPixels(int pixels) const { return float(pixels * perPixel_); }
    // The toolkit takes whole pixels; the nearest one is used.
    int toPixels(double twips) const;
    QRect toPixels(double left, double top, double width, double height) const;

private:
    double perPixel_;
};

} // namespace vellumet
