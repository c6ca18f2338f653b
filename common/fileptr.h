// A C stream closed when its owner goes.
#pragma once

#include <cstdio>
#include <memory>

namespace sonvola {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace sonvola
