#include "txmorph/text/conversion_state.h"

namespace txmorph {

ConversionState conversionState = {0, 0, 0x5E, 2};

}  // namespace txmorph
