// Readable type names for types that give none of their own.
#include "platform/foundation/TypeName.h"

#include <cxxabi.h>

#include <cstdlib>
#include <regex>

#include "platform/base/NoDestructor.h"

namespace platform {

std::string demangledTypeName(const char* mangled) {
    int status = 0;
    char* raw = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && raw ? raw : mangled;
    std::free(raw);
    // Namespaces and enclosing classes are left out, as the platform prints names.
    static const NoDestructor<std::regex> qualifier(R"(\b[A-Za-z_][A-Za-z0-9_]*::)");
    return std::regex_replace(name, *qualifier, "");
}

}  // namespace platform
