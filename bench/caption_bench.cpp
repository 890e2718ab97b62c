// One caption of a result, of the kind a table writes a million of: each form written into
// a string the row keeps from the last (as the table writer does, so that no iteration
// allocates), on the points of the Spain set converted to ED50 UTM (4096 different points in
// turn, never one repeated). Beside them, the C library's snprintf writing the same number
// with the same decimals, the cost of a plain number text on this machine. The goal is at
// most 100 ns a caption. "Row" is every text of a row with the default columns.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "SpainPoints.h"
#include "core/Captions.h"
#include "geo/Ellipsoid.h"
#include "geo/Utm.h"
#include "tables/Decimal.h"
#include "tables/PointRow.h"
#include "text/PointText.h"

namespace {

constexpr std::size_t kPoints = 4096;

const std::vector<tables::RowResult>& Results() {
    static const std::vector<tables::RowResult> results = [] {
        std::vector<tables::RowResult> v;
        const auto& set = bench::SpainPoints();
        for (std::size_t i = 0; i < kPoints; ++i) {
            tables::RowResult r;
            r.result.status = core::Status::Converted;
            r.result.set = core::ParameterSet::EST99;
            r.result.point = geo::GeoPoint{set[i].lat, set[i].lon, set[i].h};
            r.result.utm = geo::GeoToUTM(set[i].lat, set[i].lon, geo::Ellipsoids[geo::kED50]);
            r.hasHeight = true;
            v.push_back(r);
        }
        return v;
    }();
    return results;
}

// Runs `write(text, result)` on the points in turn, the text emptied before each.
template <typename Write>
void Captions(benchmark::State& state, Write write) {
    const auto& results = Results();
    std::string text;
    text.reserve(64);
    std::size_t i = 0;
    for (auto _ : state) {
        text.clear();
        write(text, results[i++ % kPoints]);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Caption_DegreesMinutesSeconds(benchmark::State& state) {
    Captions(state, [](std::string& t, const tables::RowResult& r) { core::AppendLatitudeCaption(t, r.result.point->lat); });
}
void BM_Caption_DecimalDegrees(benchmark::State& state) {
    Captions(state, [](std::string& t, const tables::RowResult& r) { text::AppendDecimalText(t, r.result.point->lon, 8); });
}
void BM_Caption_DegreesDecimalMinutes(benchmark::State& state) {
    Captions(state, [](std::string& t, const tables::RowResult& r) { text::AppendDegreesMinutes(t, r.result.point->lat, true); });
}
void BM_Caption_UtmNorthing(benchmark::State& state) {
    Captions(state, [](std::string& t, const tables::RowResult& r) { tables::AppendRounded(t, r.result.utm->N, 2, ','); });
}
void BM_Caption_Height(benchmark::State& state) {
    Captions(state, [](std::string& t, const tables::RowResult& r) { tables::AppendRounded(t, r.result.point->h, 1, ','); });
}
void BM_Caption_Set(benchmark::State& state) {
    Captions(state, [](std::string& t, const tables::RowResult& r) { t.append(core::NameOf(*r.result.set)); });
}
void BM_Caption_SnprintfSameNumber(benchmark::State& state) {
    Captions(state, [](std::string& t, const tables::RowResult& r) {
        char buffer[32];
        const int n = std::snprintf(buffer, sizeof buffer, "%.2f", r.result.utm->N);
        t.append(buffer, static_cast<std::size_t>(n));
    });
}

// The nine texts of a row with the default columns, into the row's strings.
void BM_Caption_Row(benchmark::State& state) {
    const auto& results = Results();
    const tables::Outputs outputs;
    std::vector<std::string> texts;
    std::size_t i = 0;
    for (auto _ : state) {
        tables::SetResultTexts(results[i++ % kPoints], outputs, ',', texts);
        benchmark::DoNotOptimize(texts.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tables::ResultCount(outputs)));
}

}  // namespace

BENCHMARK(BM_Caption_DegreesMinutesSeconds);
BENCHMARK(BM_Caption_DecimalDegrees);
BENCHMARK(BM_Caption_DegreesDecimalMinutes);
BENCHMARK(BM_Caption_UtmNorthing);
BENCHMARK(BM_Caption_Height);
BENCHMARK(BM_Caption_Set);
BENCHMARK(BM_Caption_SnprintfSameNumber);
BENCHMARK(BM_Caption_Row);
