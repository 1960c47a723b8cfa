// The entry of the text module (libtapwell-icu.so): the text services on ICU, for a program that
// loads them on the first number, date or non-ASCII name it handles (see TextServices.h).

#include "text/IcuTextServices.h"

extern "C" __attribute__((visibility("default"))) const tapwell::TextServices*
tapwell_icu_module() {
    return &tapwell::icuTextServices();
}
