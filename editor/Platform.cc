#include "Platform.h"

namespace orvo {

// Classic button-face greys, for window systems without system colours.
std::uint32_t defaultRgb(Colour c) {
    switch (c) {
        case Colour::BtnFace: return 0xD4D0C8;
        case Colour::BtnHighlight: return 0xFFFFFF;
        case Colour::BtnShadow: return 0x808080;
        case Colour::Black: return 0x000000;
        case Colour::Red: return 0xFF0000;
        case Colour::White: return 0xFFFFFF;
        case Colour::Blue: return 0x0000FF;
    }
    return 0;
}

}  // namespace orvo
