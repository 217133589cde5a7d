// Windows start-up: nothing to prepare. A console program there gets no
// signal for a closed pipe or a file size limit, and its standard handles
// cannot be taken by a file it opens.
#include "platform/platform.h"

namespace hc {

void prepare_process() {}

}  // namespace hc
