// How many shared objects the process has mapped whose path holds a part:
// tests that a library is opened only when first needed.
#pragma once

#include <link.h>

#include <cstring>

namespace testsupport {

inline int loadedObjects(const char* part) {
    struct Search {
        const char* part;
        int found;
    } search{part, 0};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name && std::strstr(info->dlpi_name, s->part)) ++s->found;
            return 0;
        },
        &search);
    return search.found;
}

}  // namespace testsupport
