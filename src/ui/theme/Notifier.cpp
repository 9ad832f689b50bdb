#include "ui/theme/Notifier.h"

namespace UI::Theme {

Notifier *Notifier::instance()
{
    static Notifier notifier;
    return &notifier;
}

} // namespace UI::Theme
