#include "sound/LoadFailure.h"

namespace metro {

const char* describe(LoadFailure failure) {
    switch (failure) {
    case LoadFailure::None:
        return "";
    case LoadFailure::Missing:
        return "missing";
    case LoadFailure::NotRegular:
        return "not a regular file";
    case LoadFailure::Unreadable:
        return "unreadable";
    case LoadFailure::NotWave:
        return "not a wave file";
    case LoadFailure::Unsupported:
        return "unsupported format";
    case LoadFailure::TooLong:
        return "too long";
    case LoadFailure::NoSoundDevice:
        return "no sound device";
    }
    return "";
}

} // namespace metro
