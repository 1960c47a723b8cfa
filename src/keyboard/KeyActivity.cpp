#include "keyboard/KeyActivity.h"

namespace tapwell {

const char* toString(KeyKind kind) {
    switch (kind) {
        case KeyKind::normal:
            return "normal";
        case KeyKind::space:
            return "space";
        case KeyKind::enter:
            return "enter";
        case KeyKind::delete_:
            return "delete";
    }
    return "normal";
}

}  // namespace tapwell
