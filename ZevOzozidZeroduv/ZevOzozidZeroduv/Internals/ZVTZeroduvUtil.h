#pragma once

#include <string>

// The crash service's three folders under the SDK folder. Each accessor creates its folder on
// its first call (a failure is logged by the file store; the name is returned all the same);
// resetDirectory makes the next call of each create it again. Accessors are safe from any
// thread; resetDirectory is not synchronised with them.
class ZVTZeroduvUtil {
  public:
    static std::string crashesDir();            // "crashes"
    static std::string logBufferDir();          // "crasheslogbuffer"
    static std::string wrapperExceptionsDir();  // "crasheswrapperexceptions"
    static void resetDirectory();
};
