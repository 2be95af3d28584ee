#include "bench/report.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <tuple>

namespace qbx::bench {

std::string Fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

std::string Thousands(double v) {
  std::string digits = Fixed(v, 0);
  std::string out;
  int n = 0;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (n > 0 && n % 3 == 0 && *it != '-') out.insert(out.begin(), ',');
    out.insert(out.begin(), *it);
    ++n;
  }
  return out;
}

namespace {

void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> width(header.size());
  for (size_t i = 0; i < header.size(); ++i) width[i] = header[i].size();
  for (const auto& r : rows)
    for (size_t i = 0; i < r.size(); ++i) width[i] = std::max(width[i], r[i].size());
  auto line = [&](const std::vector<std::string>& cells) {
    std::cout << '|';
    for (size_t i = 0; i < cells.size(); ++i) {
      std::cout << ' ' << cells[i] << std::string(width[i] - cells[i].size(), ' ') << " |";
    }
    std::cout << '\n';
  };
  line(header);
  std::cout << '|';
  for (size_t w : width) std::cout << std::string(w + 2, '-') << '|';
  std::cout << '\n';
  for (const auto& r : rows) line(r);
}

}  // namespace

const Row* Find(const std::vector<Row>& rows, Engine engine, Kind kind, int lines, Mode mode) {
  for (const Row& r : rows)
    if (r.ok && r.engine() == engine && r.c.kind == kind && r.c.lines == lines && r.mode == mode)
      return &r;
  return nullptr;
}

namespace {

// Anything that makes a row's floor doubtful.
std::string Note(const Row& r) {
  std::string note;
  if (r.recorded != r.component + r.suite)
    note = "recorded " + Thousands(r.recorded) + " statements, counted " +
           Thousands(r.component + r.suite);
  if (r.replay_failed > 0)
    note += (note.empty() ? "" : "; ") + Thousands(r.replay_failed) + " failed in the replay";
  if (r.unshaped > 0)
    note += (note.empty() ? "" : "; ") + Thousands(r.unshaped) + " replayed unprepared";
  if (r.rows_differ)
    note += (note.empty() ? "" : "; ") + std::string("rows differ from the replay");
  if (r.scans > 0) note += (note.empty() ? "" : "; ") + r.scan;
  if (r.growing > 0) note += (note.empty() ? "" : "; ") + r.growth_note;
  // The floor runs the same statements with nothing around them: a case
  // faster than that means the floor does something the case does not.
  if (r.floor_seconds > 0 && r.seconds < r.floor_seconds)
    note += (note.empty() ? "" : "; ") + std::string("faster than its floor: the floor is wrong");
  return note;
}

// The rows by case, size and mode, each backend beside the other.
std::vector<const Row*> SideBySide(const std::vector<Row>& rows) {
  auto rank = [](Kind k) {
    return std::find(std::begin(kAllKinds), std::end(kAllKinds), k) - std::begin(kAllKinds);
  };
  std::vector<const Row*> out;
  for (const Row& r : rows) out.push_back(&r);
  std::stable_sort(out.begin(), out.end(), [&](const Row* a, const Row* b) {
    return std::make_tuple(rank(a->c.kind), a->c.lines, a->mode, a->engine()) <
           std::make_tuple(rank(b->c.kind), b->c.lines, b->mode, b->engine());
  });
  return out;
}

}  // namespace

void PrintCases(const Options& o) {
  std::cout << "\nCases:\n";
  for (Kind k : kAllKinds) {
    if (o.cases.empty() || o.cases.contains(KindName(k)))
      std::cout << "  " << KindName(k) << ": " << KindDescription(k) << '\n';
  }
}

void PrintSuiteTable(const std::vector<Row>& rows, int repeat) {
  std::cout << "\nsqlite: the embedded database (WAL, synchronous=NORMAL); server: PostgreSQL "
               "as set up (see above). Best of "
            << repeat << " timed runs and of " << repeat << " floor replays\n\n";
  std::vector<std::vector<std::string>> cells;
  for (const Row* row : SideBySide(rows)) {
    const Row& r = *row;
    const std::string name = KindName(r.c.kind);
    const std::string backend = EngineName(r.engine());
    if (!r.ok) {
      cells.push_back(
          {name, backend, ModeName(r.mode), Thousands(r.c.lines), "FAILED: " + r.error});
      continue;
    }
    const double handled = LinesHandled(r.c);
    std::string growth = "";
    if (const Row* small = Find(rows, r.engine(), r.c.kind, r.c.lines / 10, r.mode);
        small && r.c.lines % 10 == 0 && small->seconds > 0)
      growth = Fixed(r.seconds / small->seconds, 1) + "x";
    cells.push_back({name, backend, ModeName(r.mode), Thousands(r.c.lines), Fixed(r.seconds, 3),
                     Thousands(handled / r.seconds), Fixed((r.component + r.suite) / handled, 2),
                     Fixed(r.floor_seconds, 3),
                     r.floor_seconds > 0 ? Fixed(r.seconds / r.floor_seconds, 2) : "-",
                     r.mode == Mode::kUnit ? Fixed(r.lock_seconds, 3) : "-",
                     Fixed(r.max_rss_kib / 1024.0, 1), growth, Note(r)});
  }
  PrintTable({"case", "backend", "mode", "lines", "seconds", "lines/s", "stmts/line", "floor s",
              "case/floor", "lock s", "peak MiB", "growth", "note"},
             cells);
  std::cout << "\nstmts/line: statements sent per line handled (component and suite); lock s: "
               "the longest unit of work, from BeginTrans to the end of CommitTrans; peak MiB: "
               "the benchmark's process (a server's own memory is not in it)\n";
}

// Every timed run and floor replay, fastest first: how far apart the
// repeats were.
void PrintSpread(const std::vector<Row>& rows, int repeat) {
  if (repeat < 2) return;
  std::cout << "\nSpread: every run in seconds, fastest first\n\n";
  auto list = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::string out;
    for (double d : v) out += (out.empty() ? "" : " ") + Fixed(d, 3);
    return out;
  };
  std::vector<std::vector<std::string>> cells;
  for (const Row* r : SideBySide(rows)) {
    if (!r->ok) continue;
    cells.push_back({KindName(r->c.kind), EngineName(r->engine()), ModeName(r->mode),
                     Thousands(r->c.lines), list(r->all_seconds), list(r->all_floor_seconds)});
  }
  PrintTable({"case", "backend", "mode", "lines", "timed runs", "floor replays"}, cells);
}

void PrintDoublesTable(const std::vector<DoublesRow>& doubles) {
  std::cout << "\nComponent alone on do-nothing services (best run)\n\n";
  std::vector<std::vector<std::string>> cells;
  for (const DoublesRow& r : doubles) {
    if (!r.ok) {
      cells.push_back({KindName(r.c.kind), Thousands(r.c.lines), "FAILED: " + r.error, ""});
      continue;
    }
    const double handled = LinesHandled(r.c);
    cells.push_back({KindName(r.c.kind), Thousands(r.c.lines), Fixed(r.seconds * 1000, 2),
                     Thousands(handled / r.seconds), Fixed(r.seconds * 1e6 / handled, 2)});
  }
  PrintTable({"case", "lines", "ms", "lines/s", "us/line"}, cells);
}

}  // namespace qbx::bench
