#include "ui/WindowPlacement.h"

#include "ui/Twips.h"

#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <charconv>
#include <cmath>

namespace
{

const QString Application = QStringLiteral("Vellumet");
const QString Section = QStringLiteral("Settings");
const QString KeyLeft = QStringLiteral("MainLeft");
const QString KeyTop = QStringLiteral("MainTop");
const QString KeyWidth = QStringLiteral("MainWidth");
const QString KeyHeight = QStringLiteral("MainHeight");

std::optional<float> ReadValue(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    return ParsePlacementValue(value.toString());
}

} // namespace

Placement DefaultPlacement(QSizeF screen)
{
    return {float(screen.width() * 0.1), float(screen.height() * 0.1), float(screen.width() * 0.8),
            float(screen.height() * 0.8)};
}

Placement PlacementToApply(const StoredPlacement &stored, QSizeF screen)
{
    const Placement defaults = DefaultPlacement(screen);
    return {stored.Left.value_or(defaults.Left), stored.Top.value_or(defaults.Top),
            stored.Width.value_or(defaults.Width), stored.Height.value_or(defaults.Height)};
}

Placement KeepOnScreen(const Placement &applied, QSizeF screen)
{
    const float right = applied.Left + applied.Width;
    const float bottom = applied.Top + applied.Height;
    if (right > screen.width() || bottom > screen.height())
        return DefaultPlacement(screen);
    return applied;
}

Placement RestoredPlacement(const StoredPlacement &stored, QSizeF screen)
{
    return KeepOnScreen(PlacementToApply(stored, screen), screen);
}

std::optional<Placement> PlacementToStore(const Placement &current, Qt::WindowStates state)
{
    if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return std::nullopt;
    return current;
}

QString PlacementValueText(float value)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    return text.replace(u'.', QLocale::system().decimalPoint());
}

std::optional<float> ParsePlacementValue(const QString &text)
{
    // Written with the decimal separator of its day, which may not be today's.
    QByteArray bytes =
        QString(text).replace(QLocale::system().decimalPoint(), QStringLiteral(".")).toLatin1();
    bytes.replace(',', '.');
    float value = 0;
    const char *end = bytes.constData() + bytes.size();
    const auto result = std::from_chars(bytes.constData(), end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

StoredPlacement ReadStoredPlacement()
{
    QSettings settings(Application, Application);
    settings.beginGroup(Section);
    return {ReadValue(settings, KeyLeft), ReadValue(settings, KeyTop),
            ReadValue(settings, KeyWidth), ReadValue(settings, KeyHeight)};
}

void WriteStoredPlacement(const Placement &placement)
{
    QSettings settings(Application, Application);
    settings.beginGroup(Section);
    settings.setValue(KeyLeft, PlacementValueText(placement.Left));
    settings.setValue(KeyTop, PlacementValueText(placement.Top));
    settings.setValue(KeyWidth, PlacementValueText(placement.Width));
    settings.setValue(KeyHeight, PlacementValueText(placement.Height));
}

QSizeF ScreenSizeInTwips(const QWidget &window, const Twips &twips)
{
    const QSize pixels = window.screen()->size();
    return {pixels.width() * twips.perPixel(), pixels.height() * twips.perPixel()};
}

Placement WindowPlacementOf(const QWidget &window, const Twips &twips)
{
    const QRect frame = window.frameGeometry();
    return {twips.fromPixels(frame.x()), twips.fromPixels(frame.y()),
            twips.fromPixels(frame.width()), twips.fromPixels(frame.height())};
}

void ApplyPlacement(QWidget &window, const Placement &placement, const Twips &twips)
{
    // Where the platform knows the frame before the window is shown, creating the
    // native window now lets the outer size be set as the outer size.
    window.winId();
    const QSize frameExtra = window.frameGeometry().size() - window.size();
    window.move(twips.toPixels(placement.Left), twips.toPixels(placement.Top));
    window.resize(twips.toPixels(placement.Width) - frameExtra.width(),
                  twips.toPixels(placement.Height) - frameExtra.height());
}
