#include "platform/secret.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace vellomar::platform {

void WipeSecret(std::string& text) {
  text.resize(text.capacity());  // within its room: nothing moves
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}

void KeepOutOfSwap(const std::string& text) {
#ifdef _WIN32
  VirtualLock(const_cast<char*>(text.data()), text.capacity() + 1);
#else
  mlock(text.data(), text.capacity() + 1);
#endif
}

}  // namespace vellomar::platform
