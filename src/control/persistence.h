// Persistence of the control's design-time settings through the container's
// property bag: the three container callbacks (a new instance, saving, loading).
//
// One table lists every persisted property with its bag name, its value type,
// its default and where the control keeps it (a control field, the window, the
// scroll bars or the rectangle outline). Saving writes the table in order,
// passing each default so that the bag omits values equal to it; loading reads
// the names in the order the container expects and applies them without
// calling the property setters, so it raises no change notification, runs no
// layout and draws nothing. None of the three touches the last status.
#pragma once
#include "orrery/automation/hresult.h"

namespace orrery::automation {
class PropertyBag;
}

namespace orrery::control {

class Orrery;

class Persistence {
public:
    // A new instance with no saved state: every setting kept in a control
    // field takes its default; the window, its scroll bars and the rectangle
    // outline keep the values they were built with.
    static void InitProperties(Orrery& control);

    // Writes every persisted property; a value equal to its default is left
    // out. The bag's failure, if any (the first one; writing stops there).
    static automation::HRESULT WriteProperties(const Orrery& control, automation::PropertyBag& bag);

    // Reads every persisted property (an absent name gives its default) and
    // applies it. A stored value that cannot be converted to its property's
    // type ends the reading with the conversion's failure: what was read
    // before keeps its new value, the rest keeps its earlier value.
    static automation::HRESULT ReadProperties(Orrery& control, const automation::PropertyBag& bag);

private:
    struct Table;
    static const Table& table();
};

}  // namespace orrery::control
