// Hot paths, one core: a lap report taken through Winsock1_DataArrival (decode, parse, every
// step of the display), a repeated report, the status datagram, code page 932 both ways and the
// three time formats. Each next to a baseline measured in the same run.

#include "bench_support.h"
#include "client_rig.h"

#include "client/datagram.h"
#include "client/time_format.h"
#include "laplog/lap_log.h"
#include "platform/cp932.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const QString kHostText = QStringLiteral("ピットイン準備　残り５周　雨が降り始めました");
const QString kMessage = QStringLiteral("ドライバ交代して");

/// A loaded client window in a run on the quiet socket stand-in.
struct HotRig {
    BenchSocket winsock1;
    BenchSocket winsockChker;
    ClientRig rig{winsock1, winsockChker};
    ClientWindow& w = *rig.window;
    HotRig() { rig.start(1); }
    ~HotRig() { rig.stop(); }
};

void lapReports(benchmark::State& state, bool repeated, const QString& hostText)
{
    HotRig r;
    // Two reports with different lap numbers taken in turn: each is a new lap, the full path.
    const QByteArray a = Cp932::encode(benchLapReport(false, 1, 61234, hostText));
    const QByteArray b = Cp932::encode(benchLapReport(false, 2, 62345, hostText));
    bool flip = false;
    for (auto _ : state) {
        r.winsock1.incoming = (repeated || flip) ? a : b;
        flip = !flip;
        r.w.Winsock1_DataArrival();
        benchmark::DoNotOptimize(r.w.m_LapNo);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LapReport_New(benchmark::State& state) { lapReports(state, false, QString()); }

/// A new lap with the lap log on a real folder: what the window thread pays for a row (making
/// it and handing it to the writer); the writing and syncing go on meanwhile on the writer's
/// thread, on the other core.
void BM_LapReport_NewWithLapLog(benchmark::State& state)
{
    QTemporaryDir folder;
    LapLog log(folder.path());
    BenchSocket winsock1;
    BenchSocket winsockChker;
    ClientRig rig{winsock1, winsockChker, true, [&log](const ClientWindow& w, RunEvent e) { log.onRunEvent(w, e); }};
    rig.start(1);
    const QByteArray a = Cp932::encode(benchLapReport(false, 1, 61234, kHostText));
    const QByteArray b = Cp932::encode(benchLapReport(false, 2, 62345, kHostText));
    bool flip = false;
    for (auto _ : state) {
        winsock1.incoming = flip ? a : b;
        flip = !flip;
        rig.window->Winsock1_DataArrival();
        benchmark::DoNotOptimize(rig.window->m_LapNo);
    }
    state.SetItemsProcessed(state.iterations());
    // Outside the timed loop: the rows still queued are written before the next repetition.
    rig.stop();
    log.waitForWriter();
}
void BM_LapReport_NewWithHostText(benchmark::State& state) { lapReports(state, false, kHostText); }
void BM_LapReport_Repeated(benchmark::State& state) { lapReports(state, true, kHostText); }

/// Baseline: only taking the datagram (decoding it), which every report costs at the least.
void BM_Baseline_TakeDatagramOnly(benchmark::State& state)
{
    BenchSocket sock;
    sock.incoming = Cp932::encode(benchLapReport(false, 1, 61234, kHostText));
    QString text;
    for (auto _ : state) {
        sock.takeText(text);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_StatusTick(benchmark::State& state)
{
    HotRig r;
    r.w.Lbl_OutMess.setCaption(kMessage);
    // A host text on the ticker, so the tick does both of its jobs.
    r.winsock1.incoming = Cp932::encode(benchLapReport(false, 12, 61234, kHostText));
    r.w.Winsock1_DataArrival();
    for (auto _ : state)
        r.w.Time_SendData_Timer();
    state.SetItemsProcessed(state.iterations());
}

void BM_StatusDatagramBuild(benchmark::State& state)
{
    for (auto _ : state) {
        QByteArray bytes = Cp932::encode(Datagram::statusText(12, kMessage));
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations());
}

/// Baseline: the same text built with Qt's own UTF-8 encoder.
void BM_Baseline_StatusBuildUtf8(benchmark::State& state)
{
    for (auto _ : state) {
        QByteArray bytes = (QString::number(12).rightJustified(3, QLatin1Char('0')) + kMessage).toUtf8();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Cp932_Decode(benchmark::State& state)
{
    const QByteArray bytes = Cp932::encode(benchLapReport(false, 1, 61234, kHostText));
    for (auto _ : state) {
        QString text = Cp932::decode(bytes);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_Cp932_Encode(benchmark::State& state)
{
    const QString text = benchLapReport(false, 1, 61234, kHostText);
    for (auto _ : state) {
        QByteArray bytes = Cp932::encode(text);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations());
}

/// Baselines: the same lap report through Qt's UTF-8 codec.
void BM_Baseline_Utf8Decode(benchmark::State& state)
{
    const QByteArray bytes = benchLapReport(false, 1, 61234, kHostText).toUtf8();
    for (auto _ : state) {
        QString text = QString::fromUtf8(bytes);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Baseline_Utf8Encode(benchmark::State& state)
{
    const QString text = benchLapReport(false, 1, 61234, kHostText);
    for (auto _ : state) {
        QByteArray bytes = text.toUtf8();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations());
}

template <QString (*Format)(int32_t)>
void timeFormat(benchmark::State& state)
{
    int32_t v = 0;
    for (auto _ : state) {
        QString s = Format(v);
        benchmark::DoNotOptimize(s);
        v = (v + 7919) % 9'000'000;
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_Fmt_HMS(benchmark::State& state) { timeFormat<Fmt_HMS>(state); }
void BM_Fmt_LapCenti(benchmark::State& state) { timeFormat<Fmt_LapCenti>(state); }
void BM_Fmt_LapMilli(benchmark::State& state) { timeFormat<Fmt_LapMilli>(state); }

/// Baseline: one QString::number of the same values.
void BM_Baseline_QStringNumber(benchmark::State& state)
{
    int32_t v = 0;
    for (auto _ : state) {
        QString s = QString::number(v);
        benchmark::DoNotOptimize(s);
        v = (v + 7919) % 9'000'000;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Tick_Proc(benchmark::State& state)
{
    PublicConst pub;
    for (auto _ : state)
        Tick_Proc(pub);
    benchmark::DoNotOptimize(pub.Pub_TickCount.load());
    state.SetItemsProcessed(state.iterations());
}

// Nearest-rank points over the repetitions, next to the library's mean and median.
double rankOf(const std::vector<double>& v, double p)
{
    std::vector<double> s = v;
    std::sort(s.begin(), s.end());
    const auto k = std::size_t(std::ceil(p * double(s.size())));
    return s.empty() ? 0 : s[std::clamp<std::size_t>(k, 1, s.size()) - 1];
}

void registerAll()
{
    const std::pair<const char*, void (*)(benchmark::State&)> all[] = {
        {"LapReport_New", BM_LapReport_New},
        {"LapReport_NewWithHostText", BM_LapReport_NewWithHostText},
        {"LapReport_NewWithLapLog", BM_LapReport_NewWithLapLog},
        {"LapReport_Repeated", BM_LapReport_Repeated},
        {"Baseline_TakeDatagramOnly", BM_Baseline_TakeDatagramOnly},
        {"StatusTick", BM_StatusTick},
        {"StatusDatagramBuild", BM_StatusDatagramBuild},
        {"Baseline_StatusBuildUtf8", BM_Baseline_StatusBuildUtf8},
        {"Cp932_Decode", BM_Cp932_Decode},
        {"Cp932_Encode", BM_Cp932_Encode},
        {"Baseline_Utf8Decode", BM_Baseline_Utf8Decode},
        {"Baseline_Utf8Encode", BM_Baseline_Utf8Encode},
        {"Fmt_HMS", BM_Fmt_HMS},
        {"Fmt_LapCenti", BM_Fmt_LapCenti},
        {"Fmt_LapMilli", BM_Fmt_LapMilli},
        {"Baseline_QStringNumber", BM_Baseline_QStringNumber},
        {"Tick_Proc", BM_Tick_Proc},
    };
    for (const auto& [name, fn] : all) {
        benchmark::RegisterBenchmark(name, fn)
            ->ComputeStatistics("min", [](const std::vector<double>& v) { return rankOf(v, 0.0); })
            ->ComputeStatistics("p90", [](const std::vector<double>& v) { return rankOf(v, 0.9); })
            ->ComputeStatistics("p99", [](const std::vector<double>& v) { return rankOf(v, 0.99); })
            ->ComputeStatistics("max", [](const std::vector<double>& v) { return rankOf(v, 1.0); });
    }
}

/// The console table, and the medians kept for the target line.
class Reporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the output goes to a results file as well as to the terminal.
    Reporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                const auto it = r.counters.find("items_per_second");
                if (it != r.counters.end())
                    perSecond[r.run_name.function_name] = it->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> perSecond;
};

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    for (int i = 1; i < argc; ++i)
        quick = quick || std::string(argv[i]) == "--quick";
    QCoreApplication app(argc, argv);
    std::printf("bench_hot_paths: %s\n", Bench::machineLine().c_str());
    std::string reps = quick ? "--benchmark_repetitions=3" : "--benchmark_repetitions=20";
    std::string minTime = quick ? "--benchmark_min_time=0.02" : "--benchmark_min_time=0.1";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    std::string color = "--benchmark_color=false";
    std::vector<char*> args = {argv[0], reps.data(), minTime.data(), aggregates.data(), color.data()};
    // Further --benchmark_... options (a filter, say) go to the library as given.
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--benchmark_", 0) == 0)
            args.push_back(argv[i]);
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());
    registerAll();
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    Bench::heading("Lap reports processed per second, one core (median of the repetitions)");
    for (const char* name : {"LapReport_New", "LapReport_NewWithHostText", "LapReport_Repeated",
                             "LapReport_NewWithLapLog"}) {
        const double rate = reporter.perSecond[name];
        std::printf("  %-28s %10.0f /s   target >= 100000: %s\n", name, rate, rate >= 100000 ? "met" : "MISSED");
    }
    Bench::heading("What the lap log costs the window thread a lap (median; disk work is on the writer thread)");
    const double withLog = reporter.perSecond["LapReport_NewWithLapLog"];
    const double without = reporter.perSecond["LapReport_NewWithHostText"];
    if (withLog > 0 && without > 0)
        std::printf("  a lap %.2f us with the log, %.2f us without: %.2f us for the row\n", 1e6 / withLog,
                    1e6 / without, 1e6 / withLog - 1e6 / without);
    return 0;
}
