#include "utility/link_services.h"

namespace klm::utility {

LinkServices DefaultLinkServices() {
  return LinkServices{&SystemClock(), &OpenTermiosChannel, &DeviceNodePortIo()};
}

}  // namespace klm::utility
