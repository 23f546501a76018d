#include "app/key_indicators.h"

#include <QGuiApplication>

#ifdef ZX840_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

namespace zx840 {

std::optional<LockKeys> QueryLockKeys() {
#ifdef ZX840_HAVE_X11
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return std::nullopt;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) {
        return std::nullopt;
    }
    const auto lit = [display](const char* name) {
        const Atom atom = XInternAtom(display, name, True);
        Bool on = False;
        if (atom == None || !XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) {
            return false;
        }
        return on == True;
    };
    return LockKeys{lit("Caps Lock"), lit("Num Lock"), lit("Scroll Lock")};
#else
    return std::nullopt;
#endif
}

}  // namespace zx840
