#include "app/point_run.h"

#include "app/exit_status.h"
#include "app/progress.h"
#include "engine/freezing/point.h"
#include "formats/equilibrium_output.h"
#include "formats/output.h"
#include "formats/tables.h"
#include "formats/text_file.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr std::size_t MOST_POINTS_FILE_BYTES = 64u << 20;

std::string trimmed(const std::string& line)
{
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool read_points_file(const std::string& path, std::vector<AlloyPoint>& points, InputError& error,
                      bool celsius)
{
    std::string text;
    if (!read_text_file(path, MOST_POINTS_FILE_BYTES, "64 MiB", "a file of points", text, error))
        return false;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        AlloyPoint point{};
        std::string why;
        if (!parse_point(line, point, why, celsius)) {
            why += ", not '" + line + "'";
            error = file_error(path, why);
            error.line = number;
            return false;
        }
        if (points.size() == MOST_POINTS) {
            error = file_error(path, "more than 1000000 points");
            error.line = number;
            return false;
        }
        points.push_back(point);
    }
    return true;
}

int run_points(const PointRun& run)
{
    std::vector<AlloyPoint> points = run.points;
    InputError error;
    if (!run.points_file.empty() && !read_points_file(run.points_file, points, error, run.system.celsius)) {
        std::fprintf(stderr, "phase_boundary: %s\n", error.text().c_str());
        return INPUT_FAILED;
    }
    if (points.empty()) {
        std::fprintf(stderr, "phase_boundary: %s: no points\n", run.points_file.c_str());
        return INPUT_FAILED;
    }
    std::vector<double> temperatures;
    temperatures.reserve(points.size());
    for (const AlloyPoint& p : points)
        temperatures.push_back(p.T);
    // The points' own span in place of a default range, which would cost a
    // scan of the whole diagram.
    const auto [lowest, highest] = std::minmax_element(temperatures.begin(), temperatures.end());
    SystemSource source = run.system;
    source.has_temperatures = true;
    std::string unused;
    checked_range(*lowest, *highest, std::max(*highest - *lowest, 1.0), source.temperatures, unused);
    LoadedSystem loaded;
    if (!load_system(source, loaded))
        return INPUT_FAILED;
    if (!check_finite(loaded, temperatures, error)) {
        std::fprintf(stderr, "phase_boundary: %s\n", error.text().c_str());
        return INPUT_FAILED;
    }
    const System& s = loaded.system;
    const Units& u = loaded.units;
    for (AlloyPoint& p : points)
        p.x0 = mole_fraction_from(u, p.x0);
    const PointGrids grids = point_grids(s);
    std::vector<PointEquilibrium> results(points.size());
    std::atomic<std::size_t> done{0};
    {
        const ProgressLine progress("points", points.size(), done);
        // The alloys of each temperature together: where the coarse grid's
        // equilibria do not hold, the full grid's are found once for them all.
        std::map<double, std::vector<std::size_t>> at_T;
        for (std::size_t i = 0; i < points.size(); ++i)
            at_T[points[i].T].push_back(i);
        for (const auto& [T, alloys] : at_T) {
            std::vector<double> x0;
            for (const std::size_t i : alloys)
                x0.push_back(points[i].x0);
            std::vector<PointEquilibrium> found = equilibria_at_points(s, grids, T, x0);
            for (std::size_t k = 0; k < alloys.size(); ++k)
                results[alloys[k]] = std::move(found[k]);
            done += alloys.size();
        }
    }

    const char* names[] = {EQUILIBRIUM_NAME};
    std::FILE* files[1] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 1, files))
        return OUTPUT_FAILED;
    write_equilibrium_json(files[0], s, results, u);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    bool confirmed = warn_database(loaded);
    std::vector<std::string> warned;  // once each, where points share a temperature
    for (std::size_t i = 0; i < results.size(); ++i) {
        std::fputs(i > 0 ? "\n" : "", stdout);
        write_equilibrium_block(stdout, s, results[i], u);
        for (const Doubt& doubt : results[i].doubts) {
            confirmed = false;
            const std::string text = warning_text(s, doubt, u);
            if (std::find(warned.begin(), warned.end(), text) != warned.end())
                continue;
            warned.push_back(text);
            write_warning(stderr, s, doubt, u);
        }
    }
    return confirmed ? COMPLETE : UNCONFIRMED;
}
