// Test plans: the strict reader, every limit kind at its boundary, the
// emission classes on loads that pass and fail by a clear margin, and the
// plan chosen by type.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "analysis/conduction_angles.h"
#include "analysis/harmonics.h"
#include "meter/sim/sim_load.h"
#include "plan/iec61000_3_2.h"
#include "plan/plan_file.h"
#include "plan/verdict.h"
#include "record/json_reader.h"

namespace zx840 {
namespace {

std::string ErrorOf(std::string_view text) {
    JsonError error;
    EXPECT_FALSE(ParseJson(text, &error).has_value()) << text;
    return error.Describe();
}

TEST(JsonReader, RefusesWhatALenientReaderWouldGuessAt) {
    JsonError error;
    const auto value =
        ParseJson(" {\"a\": [1, -2.5e3, true, null, \"\\u00e9\\ud83d\\ude00\"]} ", &error);
    ASSERT_TRUE(value) << error.Describe();
    const JsonValue* a = value->Find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->items.size(), 5u);
    EXPECT_EQ(a->items[1].number, -2500.0);
    EXPECT_EQ(a->items[4].text, "\xC3\xA9\xF0\x9F\x98\x80");

    EXPECT_EQ(ErrorOf("{\"a\": 1,\n \"a\": 2}"), "line 2, column 2: the key \"a\" appears twice");
    EXPECT_EQ(ErrorOf("{\"a\": 1,}"), "line 1, column 9: a comma before '}'");
    EXPECT_EQ(ErrorOf("[1, 2,]"), "line 1, column 7: a comma before ']'");
    EXPECT_EQ(ErrorOf("{} // note"),
              "line 1, column 4: unexpected text after the end of the document");
    EXPECT_EQ(ErrorOf("{\"a\": 01}"), "line 1, column 8: expected ',' or '}'");
    EXPECT_EQ(ErrorOf("{\"a\": 1e999}"),
              "line 1, column 7: a number out of the range a double can hold");
    EXPECT_EQ(ErrorOf("{\"a\": .5}"), "line 1, column 7: unexpected text; expected a value");
    EXPECT_EQ(ErrorOf("\"\xFF\""), "line 1, column 2: a string that is not UTF-8");
    EXPECT_EQ(ErrorOf("\"\\ud800\""),
              "line 1, column 8: a high surrogate without its low surrogate");
    EXPECT_EQ(ErrorOf("\"a\tb\""), "line 1, column 3: a control character inside a string");
    EXPECT_EQ(ErrorOf("{\"a\": tru}"), "line 1, column 7: unexpected text; expected a value");
    EXPECT_EQ(ErrorOf(""), "line 1, column 1: the document ends where a value should be");
    EXPECT_EQ(ErrorOf(std::string(17, '[') + std::string(17, ']')),
              "line 1, column 17: nested too deeply");
    EXPECT_TRUE(ParseJson(std::string(16, '[') + std::string(16, ']'), &error));
}

TestPlan Parsed(std::string_view text) {
    const PlanRead read = ParsePlan(text, "/plans/PSU-12V.zx8plan");
    EXPECT_TRUE(read.plan) << read.error;
    return read.plan.value_or(TestPlan{});
}

std::string Refusal(std::string_view text) {
    const PlanRead read = ParsePlan(text, "/plans/PSU-12V.zx8plan");
    EXPECT_FALSE(read.plan) << text;
    return read.error;
}

TEST(PlanFile, ReadsEveryKeyAndWritesItBackTheSame) {
    const TestPlan plan = Parsed(R"({
        "Type": "PSU-12V",
        "Urms": {"min": 207, "max": 253}, "Irms": {"max": 0.5}, "Upeak": {"min": 300},
        "Ipeak": {"max": 1.2}, "Ucf": {"min": 1.3, "max": 1.5}, "Icf": {"max": 3},
        "Power": {"min": 10, "max": 60}, "PF": {"min": 0.9}, "Freq": {"min": 49.5, "max": 50.5},
        "StartAngle": {"max": 30}, "PeakAngle": {"max": 95}, "EndAngle": {"min": 150},
        "Uthd": {"max": 5}, "Ithd": {"max": 20},
        "UHarmonicPercent": {"3": 3, "5": 2.5},
        "IHarmonicPercent": {"3": 15, "50": 0.5},
        "Iec61000_3_2": "C25"})");
    EXPECT_EQ(plan.name, "PSU-12V");
    EXPECT_EQ(plan.type, "PSU-12V");
    EXPECT_EQ(plan.Reading(PlanReading::Urms), (Limit{207.0, 253.0}));
    EXPECT_EQ(plan.Reading(PlanReading::Irms), (Limit{std::nullopt, 0.5}));
    EXPECT_EQ(plan.Reading(PlanReading::Ithd), (Limit{std::nullopt, 20.0}));
    EXPECT_EQ(plan.uHarmonicMaxPercent[5], 2.5);
    EXPECT_EQ(plan.iHarmonicMaxPercent[50], 0.5);
    EXPECT_FALSE(plan.iHarmonicMaxPercent[2]);
    EXPECT_EQ(plan.iec, IecClass::C25);
    const PlanRead again = ParsePlan(PlanToJson(plan), "PSU-12V.zx8plan");
    ASSERT_TRUE(again.plan) << again.error << "\n" << PlanToJson(plan);
    EXPECT_EQ(*again.plan, plan);
    TestPlan empty;
    empty.name = "PSU-12V";
    EXPECT_EQ(Parsed("{}"), empty);
}

TEST(PlanFile, RefusalsNameTheFileTheKeyAndTheProblem) {
    const std::string file = "/plans/PSU-12V.zx8plan: ";
    EXPECT_EQ(Refusal(R"({"Urms": {"min": 5, "max": 3}})"),
              file + "key \"Urms\": min 5 is greater than max 3");
    EXPECT_EQ(Refusal(R"({"Watts": {"max": 3}})"),
              file + "key \"Watts\": not a key of a plan file");
    EXPECT_EQ(Refusal(R"({"Urms": 230})"),
              file + "key \"Urms\": must be an object {\"min\": x, \"max\": y}, not a number");
    EXPECT_EQ(Refusal(R"({"Urms": {"max": "3"}})"),
              file + "key \"Urms.max\": must be a number, not a string");
    EXPECT_EQ(Refusal(R"({"Urms": {"mx": 3}})"),
              file + "key \"Urms.mx\": not a key of a limit (\"min\" or \"max\")");
    EXPECT_EQ(Refusal(R"({"Urms": {}})"),
              file + "key \"Urms\": a limit needs \"min\", \"max\" or both");
    EXPECT_EQ(Refusal(R"({"Type": 12})"), file + "key \"Type\": must be a string, not a number");
    for (const char* order : {"1", "51", "03", "3.0", "x", ""}) {
        EXPECT_EQ(Refusal(std::string(R"({"IHarmonicPercent": {")") + order + R"(": 3}})"),
                  file + "key \"IHarmonicPercent." + order +
                      "\": a harmonic order is a whole number from 2 to 50");
    }
    EXPECT_EQ(Refusal(R"({"UHarmonicPercent": {"3": -1}})"),
              file + "key \"UHarmonicPercent.3\": a percent of the fundamental cannot be negative");
    EXPECT_EQ(Refusal(R"({"Iec61000_3_2": "E"})"),
              file +
                  "key \"Iec61000_3_2\": unknown class \"E\" (one of \"A\", \"B\", \"C\", "
                  "\"C25\", \"D\")");
    // Control characters reach the terminal escaped.
    EXPECT_EQ(Refusal("{\"Urms\\u001b[2J\": {\"max\": 3}}"),
              file + "key \"Urms\\u001b[2J\": not a key of a plan file");
    EXPECT_EQ(Refusal(R"({"Iec61000_3_2": "A\r"})"),
              file +
                  "key \"Iec61000_3_2\": unknown class \"A\\r\" (one of \"A\", \"B\", \"C\", "
                  "\"C25\", \"D\")");
    EXPECT_EQ(Refusal("[1]"), file + "a plan file holds one JSON object, not an array");
    EXPECT_EQ(Refusal("{\"Urms\": {\"max\": 3}"),
              file + "not a valid plan file: line 1, column 20: expected ',' or '}'");
}

WorkingRecord Measured(const MeasurementRecord& record) {
    WorkingRecord working;
    working.Record = record;
    ComputeHarmonics(HarmonicTable{}, working.Record);
    working.Angles = ComputeConductionAngles(working.Record);
    working.DataValid = 1;
    return working;
}

WorkingRecord Load(LoadKind kind, double amps, double firingAngle = 90.0) {
    LoadSettings settings;
    settings.kind = kind;
    settings.loadAmps = amps;
    settings.firingAngleDeg = firingAngle;
    return Measured(SimulateMeasurement(settings));
}

const Check* Find(const Verdict& verdict, const std::string& item) {
    for (const Check& check : verdict.checks) {
        if (check.item == item) {
            return &check;
        }
    }
    return nullptr;
}

TEST(Verdict, EveryLimitKindHoldsAtItsBoundsAndFailsJustOutside) {
    WorkingRecord w = Load(LoadKind::Resistive, 1.0);
    const double power = w.Record.Power;
    const double upeak = static_cast<double>(w.Record.Urms) * w.Record.Ucf;
    const double ithd = static_cast<double>(w.Record.Ithd) / w.Record.ISpec[0] * 100.0;
    const double i3 = static_cast<double>(w.Record.ISpec[2]) * 100.0 / w.Record.ISpec[0];
    const auto judge = [&](TestPlan plan) { return Judge(plan, w).value(); };

    TestPlan plan;
    plan.name = "edge";
    plan.readings[static_cast<std::size_t>(PlanReading::Power)] = Limit{power, power};
    plan.readings[static_cast<std::size_t>(PlanReading::Upeak)] = Limit{upeak, std::nullopt};
    plan.readings[static_cast<std::size_t>(PlanReading::Ithd)] = Limit{std::nullopt, ithd};
    plan.iHarmonicMaxPercent[3] = i3;
    Verdict at = judge(plan);
    EXPECT_TRUE(at.pass) << VerdictJson(at);
    EXPECT_EQ(at.checks.size(), 4u);
    EXPECT_EQ(at.Line(), "Verdict: PASS");

    plan.readings[static_cast<std::size_t>(PlanReading::Power)] =
        Limit{std::nextafter(power, 1e9), std::nullopt};
    plan.readings[static_cast<std::size_t>(PlanReading::Upeak)] =
        Limit{std::nullopt, std::nextafter(upeak, 0.0)};
    plan.iHarmonicMaxPercent[3] = std::nextafter(i3, 0.0);
    Verdict outside = judge(plan);
    EXPECT_FALSE(outside.pass);
    EXPECT_EQ(outside.Line(), "Verdict: FAIL (3 checks failed)");
    const std::vector<Check> ordered = outside.FailingFirst();
    EXPECT_EQ(ordered[0].item, "Upeak");
    EXPECT_EQ(ordered[1].item, "Power");
    EXPECT_EQ(ordered[2].item, "I3");
    EXPECT_EQ(ordered[3].item, "Ithd");
    EXPECT_TRUE(outside.Failed("I3"));
    EXPECT_FALSE(outside.Failed("Ithd"));

    // Not finite, or no fundamental for a percentage: the check fails.
    w.Record.Power = std::numeric_limits<float>::quiet_NaN();
    w.Record.ISpec[0] = 0.0f;
    plan = TestPlan{};
    plan.readings[static_cast<std::size_t>(PlanReading::Power)] = Limit{std::nullopt, 1e9};
    plan.readings[static_cast<std::size_t>(PlanReading::Ithd)] = Limit{std::nullopt, 1e9};
    plan.iHarmonicMaxPercent[3] = 1e9;
    EXPECT_EQ(judge(plan).FailedCount(), 3);
    EXPECT_EQ(
        VerdictJson(judge(plan)).substr(0, 85),
        R"({"Pass":false,"Plan":"","Checks":[{"Item":"Power","Value":null,"Min":null,"Max":1e+09)");

    w.DataValid = 0;
    EXPECT_FALSE(Judge(plan, w).has_value());
}

// One flipped sign bit, a damaged test file or an unplugged unit: whatever
// the limits, a check made from a value no measurement can hold, or that
// cannot be made at all, fails and says why.
TEST(Verdict, ValuesOutOfRangeAndMissingCurrentNeverPass) {
    const WorkingRecord good = Load(LoadKind::Rectifier, 0.5);
    TestPlan plan;
    plan.name = "wide";
    const auto limit = [&plan](PlanReading r, std::optional<double> min,
                               std::optional<double> max) {
        plan.readings[static_cast<std::size_t>(r)] = Limit{min, max};
    };
    limit(PlanReading::Irms, std::nullopt, 1e6);
    limit(PlanReading::Ipeak, std::nullopt, 1e6);
    limit(PlanReading::Icf, std::nullopt, 1e6);
    limit(PlanReading::Power, std::nullopt, 1e6);
    limit(PlanReading::PF, -1e6, 1e6);
    limit(PlanReading::Freq, std::nullopt, 1e6);
    limit(PlanReading::Ithd, std::nullopt, 1e6);
    plan.iHarmonicMaxPercent[3] = 1e6;
    plan.iec = IecClass::A;
    ASSERT_TRUE(Judge(plan, good)->pass) << VerdictJson(*Judge(plan, good));

    struct Case {
        const char* what;
        void (*damage)(MeasurementRecord&);
        std::vector<std::string> failing;  // among others
        const char* note;                  // of the first of them
    };
    const Case cases[] = {
        {"negative Irms",
         [](MeasurementRecord& r) { r.Irms = -r.Irms; },
         {"Irms", "Ipeak", "IEC I3", "IEC I39"},
         "out of range: Irms -"},
        {"negative fundamental",
         [](MeasurementRecord& r) { r.ISpec[0] = -r.ISpec[0]; },
         {"Ithd", "I3"},
         "out of range: I1 of the spectrum -"},
        {"negative I3",
         [](MeasurementRecord& r) { r.ISpec[2] = -r.ISpec[2]; },
         {"I3", "IEC I3"},
         "out of range: I3 of the spectrum -"},
        {"negative distortion",
         [](MeasurementRecord& r) { r.Ithd = -r.Ithd; },
         {"Ithd"},
         "out of range: Ithd -"},
        {"crest factor below 1",
         [](MeasurementRecord& r) { r.Icf = 0.5f; },
         {"Icf", "Ipeak"},
         "out of range: Icf 0.5 is below 1"},
        {"power factor beyond 1",
         [](MeasurementRecord& r) { r.PF = 1.2f; },
         {"PF"},
         "out of range: PF 1.2 lies beyond -1 to 1"},
        {"no frequency",
         [](MeasurementRecord& r) { r.Freq = 0.0f; },
         {"Freq"},
         "out of range: Freq 0 is not above 0"},
        {"negative power",
         [](MeasurementRecord& r) { r.Power = -r.Power; },
         {"Power"},
         "out of range: Power -"},
        {"power not a number",
         [](MeasurementRecord& r) { r.Power = std::nanf(""); },
         {"Power"},
         "out of range: Power is not a number"},
        {"no current", [](MeasurementRecord& r) { r.IWave.fill(0); }, {"IEC"}, kNoCurrentNote},
        {"no current fundamental",
         [](MeasurementRecord& r) { r.ISpec[0] = 0.0f; },
         {"Ithd", "I3"},
         kNoCurrentNote},
    };
    for (const Case& c : cases) {
        WorkingRecord bad = good;
        c.damage(bad.Record);
        const Verdict verdict = *Judge(plan, bad);
        EXPECT_FALSE(verdict.pass) << c.what;
        for (const std::string& item : c.failing) {
            EXPECT_TRUE(verdict.Failed(item)) << c.what << ": " << item;
        }
        const Check* first = Find(verdict, c.failing.front());
        ASSERT_NE(first, nullptr) << c.what;
        EXPECT_EQ(first->note.rfind(c.note, 0), 0u) << c.what << ": " << first->note;
    }

    // The power that selects a class's limits is one of its inputs.
    WorkingRecord reversed = good;
    reversed.Record.Power = -reversed.Record.Power;
    TestPlan classD;
    classD.iec = IecClass::D;
    EXPECT_TRUE(Judge(classD, reversed)->Failed("IEC Class D"));

    // A standby test limits the current on purpose: no current meets it, and
    // what cannot be judged without current is no failure then.
    WorkingRecord unplugged = good;
    unplugged.Record.IWave.fill(0);
    unplugged.Record.ISpec.fill(0.0f);
    unplugged.Record.Irms = 0.0f;
    unplugged.Record.Icf = 0.0f;
    unplugged.Record.Ithd = 0.0f;
    EXPECT_FALSE(Judge(plan, unplugged)->pass);
    limit(PlanReading::Irms, std::nullopt, 0.01);
    const Verdict standby = *Judge(plan, unplugged);
    EXPECT_TRUE(standby.pass) << VerdictJson(standby);
    EXPECT_EQ(Find(standby, "IEC")->note, kStandbyNote);
    unplugged.Record.Irms = 0.02f;  // the standby limit itself is not met
    EXPECT_FALSE(Judge(plan, unplugged)->pass);
}

Verdict JudgeClass(IecClass iecClass, const WorkingRecord& working) {
    TestPlan plan;
    plan.iec = iecClass;
    return Judge(plan, working).value();
}

TEST(Iec61000_3_2, ClassesPassAndFailByAClearMargin) {
    // A resistive load draws no harmonic current worth the name.
    const WorkingRecord resistive = Load(LoadKind::Resistive, 1.0);
    EXPECT_TRUE(JudgeClass(IecClass::A, resistive).pass);
    EXPECT_TRUE(JudgeClass(IecClass::B, resistive).pass);
    EXPECT_TRUE(JudgeClass(IecClass::C, resistive).pass);
    EXPECT_TRUE(JudgeClass(IecClass::D, resistive).pass);
    EXPECT_EQ(JudgeClass(IecClass::A, resistive).checks.size(), 39u);  // orders 2 to 40

    // A rectifier with a smoothing capacitor at a few amperes: h3 far above
    // Class A's 2.30 A.
    const WorkingRecord rectifier = Load(LoadKind::Rectifier, 6.0);
    const Verdict a = JudgeClass(IecClass::A, rectifier);
    EXPECT_FALSE(a.pass);
    const Check* h3 = Find(a, "IEC I3");
    ASSERT_NE(h3, nullptr);
    EXPECT_EQ(h3->max, 2.30);
    EXPECT_GT(h3->value, 1.5 * 2.30);
    EXPECT_FALSE(JudgeClass(IecClass::B, rectifier).pass);
    EXPECT_FALSE(JudgeClass(IecClass::C, Load(LoadKind::Rectifier, 0.5)).pass);
    const Verdict d = JudgeClass(IecClass::D, Load(LoadKind::Rectifier, 1.0));
    EXPECT_FALSE(d.pass);
    EXPECT_TRUE(d.Failed("IEC I3"));
    EXPECT_EQ(d.preCompliance, "IEC 61000-3-2 Class D pre-compliance indication (one period)");

    // Outside the power range of a class it sets no limit, and says so.
    const Verdict small = JudgeClass(IecClass::D, Load(LoadKind::Rectifier, 0.1));
    EXPECT_TRUE(small.pass);
    ASSERT_EQ(small.checks.size(), 1u);
    EXPECT_EQ(small.checks[0].note, "Class D: no limit at or below 75 W");

    // All-zero current samples: nothing can be judged, and an unplugged
    // unit must not pass for it.
    WorkingRecord silent = resistive;
    silent.Record.IWave.fill(0);
    const Verdict skipped = JudgeClass(IecClass::A, silent);
    EXPECT_FALSE(skipped.pass);
    EXPECT_EQ(skipped.checks.at(0).note, kNoCurrentNote);
}

TEST(Iec61000_3_2, LowPowerLightingWaveform) {
    // A 15 W lamp whose current leads the voltage by 30 degrees: it flows at
    // the zero crossing, peaks at 60 degrees and lasts well past 90.
    MeasurementRecord lamp;
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        const double phase = 2.0 * std::numbers::pi * n / kSamplesPerPeriod;
        lamp.UWave[static_cast<std::size_t>(n)] =
            static_cast<std::int32_t>(std::lround(10000.0 * std::cos(phase)));
        lamp.IWave[static_cast<std::size_t>(n)] = static_cast<std::int32_t>(
            std::lround(-3000.0 * std::sin(phase - std::numbers::pi / 2 + std::numbers::pi / 6)));
    }
    lamp.Urms = 230.0f;
    lamp.Irms = 0.075f;
    lamp.Power = 15.0f;
    lamp.PF = 0.87f;
    const Verdict good = JudgeClass(IecClass::C25, Measured(lamp));
    EXPECT_TRUE(good.pass) << VerdictJson(good);
    EXPECT_EQ(good.checks.size(), 5u);
    const auto angles = LowPowerLightingAngles(lamp).value();
    EXPECT_LE(angles.start, 60.0);
    EXPECT_NEAR(angles.peak, 60.0, 1.5);
    EXPECT_GE(angles.end, 90.0);

    // A dimmed 15 W lamp that fires late: conduction starts past 60 degrees.
    WorkingRecord late = Load(LoadKind::Dimmer, 0.15, 110.0);
    late.Record.Power = 15.0f;
    const Verdict bad = JudgeClass(IecClass::C25, late);
    EXPECT_FALSE(bad.pass);
    const Check* start = Find(bad, "IEC StartAngle");
    ASSERT_NE(start, nullptr);
    EXPECT_FALSE(start->pass);
    EXPECT_GT(start->value, 90.0);

    // Above 25 W the waveform option does not apply.
    late.Record.Power = 40.0f;
    EXPECT_EQ(JudgeClass(IecClass::C25, late).checks.at(0).note, "Class C25: no limit above 25 W");
}

TEST(PlanFolder, ThePlanOfTheProductTypeIsFound) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zx840-plans-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, const char* text) {
        std::ofstream(dir / name) << text;
    };
    write("a-lamp.zx8plan", R"({"Type": "LAMP-15", "Iec61000_3_2": "C25"})");
    write("b-psu.zx8plan", R"({"Type": "PSU-12V", "Power": {"max": 60}})");
    write("c-broken.zx8plan", R"({"Type": "PSU-12V", "Power": {"max": }})");
    write("notes.txt", "not a plan");
    // Named like plans, but neither can be read as one: not listed.
    std::filesystem::create_directory(dir / "folder.zx8plan");
    ASSERT_EQ(::mkfifo((dir / "fifo.zx8plan").c_str(), 0600), 0);
    EXPECT_EQ(ListPlanFiles(dir.string()),
              (std::vector<std::string>{(dir / "a-lamp.zx8plan").string(),
                                        (dir / "b-psu.zx8plan").string(),
                                        (dir / "c-broken.zx8plan").string()}));
    std::vector<std::string> errors;
    const std::vector<TestPlan> plans = ReadPlanFolder(dir.string(), &errors);
    ASSERT_EQ(plans.size(), 2u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("c-broken.zx8plan: not a valid plan file"), std::string::npos);
    const TestPlan* psu = PlanForType(plans, "PSU-12V");
    ASSERT_NE(psu, nullptr);
    EXPECT_EQ(psu->name, "b-psu");
    EXPECT_EQ(PlanForType(plans, "psu-12v"), nullptr);
    EXPECT_EQ(PlanForType(plans, ""), nullptr);
    std::filesystem::remove_all(dir);

    const PlanRead missing = ReadPlanFile((dir / "x.zx8plan").string());
    EXPECT_FALSE(missing.plan);
    EXPECT_NE(missing.error.find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace zx840
