#include "Pointer.h"

Pointer PointerAfterMouseMove(Pointer current, PointerArea over) {
    if (current == Pointer::Busy) return current;
    return over == PointerArea::PushButton ? Pointer::Hand : Pointer::Default;
}

bool ShowPointer(Pointer pointer, HCURSOR hand) {
    switch (pointer) {
        case Pointer::Busy:
            SetCursor(LoadCursor(nullptr, IDC_WAIT));
            return true;
        case Pointer::Hand:
            SetCursor(hand != nullptr ? hand : LoadCursor(nullptr, IDC_ARROW));
            return true;
        case Pointer::Default:
            break;
    }
    return false;
}
