// Where the points of a chunk are converted: in this process, or in a child process
// forked for it, so that two converters run at the same time. (The conversions share no
// state any more, so threads alone could do the same; the child stays until that change
// is measured.)
#pragma once

#include <memory>
#include <vector>

#include "batch/PointRow.h"

namespace batch {

class Converter {
  public:
    virtual ~Converter() = default;
    // results[i] = ConvertPoint(points[i], conversion) for every point. Throws RunError
    // when the conversion cannot be done (the child process is gone).
    virtual void Convert(const std::vector<RowPoint>& points, std::vector<RowResult>& results) = 0;
};

// Converts in this process; one call at a time.
std::unique_ptr<Converter> LocalConverter(const Conversion& conversion);

// Converts in a child process forked now, before the calling process starts any thread
// (fork copies only the calling thread). The child closes `closeInChild` (the run's
// input and output, which it must not hold open), leaves signals to their default action
// and ends when the converter is destroyed. nullptr when no process can be started.
std::unique_ptr<Converter> ProcessConverter(const Conversion& conversion, const std::vector<int>& closeInChild);

}  // namespace batch
