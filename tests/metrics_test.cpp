// The metrics for Prometheus as their consumers take them: promtool checks the file and the
// alert rules, and a real node_exporter serves the series from its textfile directory.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <simdjson.h>

#include "support/end_to_end.h"

namespace quvane {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string contents(const std::filesystem::path& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

const char* const promtool = "/usr/bin/promtool";
const char* const node_exporter = "/usr/bin/prometheus-node-exporter";

class Metrics : public testing::EndToEnd {};

TEST_F(Metrics, TheFileTellsEveryPatchEscapedAndADaemonThatIsDownAndPromtoolTakesIt) {
    const auto textfiles = dir.path() / "textfiles";
    std::filesystem::create_directory(textfiles);
    const auto file = textfiles / "quvane.prom";
    // A name with a quotation mark, a reverse solidus, a line feed and a letter beyond ASCII.
    fault("get_patch_list", [](const std::string& request) {
        return testing::Reply::result(
            request, R"([{"uuid":"u1","name":"a\"b\\c\nd\u00e9","status":"Accepted"},)"
                     R"({"uuid":"u2","name":"plain","status":"NotApplied"}])");
    });
    const auto listed = run({"--metrics-file", file.string(), "list"});
    EXPECT_EQ(listed.status, 0) << listed.out;
    EXPECT_EQ(listed.out + listed.err, "");
    const std::string metrics = contents(file);
    EXPECT_THAT(metrics, HasSubstr("quvane_up 1\n"));
    EXPECT_THAT(metrics, HasSubstr("quvane_patches{status=\"ACCEPTED\"} 1\n"));
    EXPECT_THAT(metrics, HasSubstr(R"(quvane_patch_status{uuid="u1",name="a\"b\\c\nd)"
                                   "\xc3\xa9"
                                   R"(",status="ACCEPTED"} 1)"));
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644U);  // the collector runs as another user
    // Replaced at once: nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(textfiles), {}), 1);
    if (std::filesystem::exists(promtool)) {
        const auto checked = testing::run_process(
            {"/bin/sh", "-c", std::string(promtool) + " check metrics < '" + file.string() + "'"});
        EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    }

    // A daemon that is down: up 0 and no patch series left from before.
    const auto down = testing::run_quvane(
        {"-w", (dir.path() / "nowhere").string(), "--metrics-file", file.string(), "list"});
    EXPECT_EQ(down.status, 1);
    EXPECT_THAT(contents(file), HasSubstr("quvane_up 0\n"));
    EXPECT_THAT(contents(file), Not(HasSubstr("quvane_patch_status")));

    // A directory another account can write, or a link planted where it could, is never
    // written through.
    const auto elsewhere = dir.path() / "elsewhere";
    const auto open_to_all = dir.path() / "open";
    std::filesystem::create_directory(elsewhere);
    std::filesystem::create_directory(open_to_all);
    ::chmod(open_to_all.c_str(), 0777);
    std::filesystem::create_directory_symlink(elsewhere, open_to_all / "planted");
    ::chmod(textfiles.c_str(), 0775);
    for (const auto& [into, problem] :
         {std::pair{textfiles, "is owned by uid 0 (root) with mode 0775"},
          std::pair{open_to_all / "planted", "Not a directory"}}) {
        const auto refused = run({"--metrics-file", (into / "quvane.prom").string(), "list"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_THAT(refused.out, HasSubstr(problem));
    }
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

// The alert rules over the files the metrics unit writes through a host's life, each held for
// minutes: quiet after a deliberate remove and save, firing after a missed restore until the
// patch is back. The dashboard asks only for series that quvane writes.
TEST_F(Metrics, TheAlertsOverWhatTheUnitWritesFollowWhatTheNextBootRestores) {
    if (!std::filesystem::exists(promtool)) {
        GTEST_SKIP() << "promtool (Debian's prometheus) is not installed";
    }
    const auto file = dir.path() / "quvane.prom";
    const struct {
        std::vector<std::vector<std::string>> commands;
        bool reboot;  // then the daemon restarted empty, the boot unit not run (in the fifth
                      // phase, the kernel command line skipping it)
        int minutes;  // the file the unit then writes is scraped this long
    } phases[] = {
        {{{"apply", "CVE-2023-4911"}, {"accept", "CVE-2023-4911"}, {"save"}}, false, 10},
        {{{"remove", "CVE-2023-4911"}, {"save"}}, false, 10},
        {{{"apply", "CVE-2024-1086"}, {"accept", "CVE-2024-1086"}, {"save"}}, true, 20},
        {{{"restore", "--accepted"}}, false, 10},
        // A boot with the restore skipped on purpose pages no one; the patch that took the
        // host down is dropped, the rest brought back without it.
        {{}, true, 10},
        {{{"remove", "CVE-2024-1086"}, {"restore", "--accepted"}, {"save"}}, false, 10},
    };
    constexpr int total = 80;
    std::map<std::string, std::vector<std::string>> series;  // one value a minute, "_": none
    std::set<std::string> families;
    int minute = 0;
    for (const auto& phase : phases) {
        for (const auto& command : phase.commands) {
            ASSERT_EQ(run(command).status, 0) << command.front();
        }
        if (phase.reboot) {
            restart_daemon(&phase == &phases[4]);
        }
        ASSERT_EQ(run({"--metrics-file", file.string(), "boot"}).status, 0);
        std::istringstream lines(contents(file));
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("# TYPE ")) {
                families.insert(line.substr(7, line.find(' ', 7) - 7));
            }
            if (line.starts_with("#")) {
                continue;
            }
            std::string name = line.substr(0, line.rfind(' '));
            name.insert(
                name.find('{') == std::string::npos ? name.size() : name.find('{') + 1,
                name.find('{') == std::string::npos ? "{instance=\"h\"}" : "instance=\"h\",");
            auto& values = series.try_emplace(name, total, "_").first->second;
            std::fill_n(values.begin() + minute, phase.minutes, line.substr(line.rfind(' ') + 1));
        }
        minute += phase.minutes;
    }
    std::string tests = "rule_files:\n  - " QUVANE_SOURCE_DIR
                        "/contrib/prometheus/quvane.rules.yml\nevaluation_interval: 1m\n"
                        "tests:\n  - interval: 1m\n    input_series:\n";
    for (const auto& [name, values] : series) {
        tests += "      - series: '" + name + "'\n        values: '";
        for (const std::string& value : values) {
            tests += value + " ";
        }
        tests += "'\n";
    }
    // What fires at the end of each phase: nothing after the deliberate remove and save, the
    // missed patch until the restore brought it back.
    tests += "    promql_expr_test:\n";
    const char* const firing[] = {"", "", "QuvaneBootSetPatchNotRestored", "", "", ""};
    minute = 0;
    for (std::size_t i = 0; i < std::size(phases); ++i) {
        minute += phases[i].minutes;
        tests +=
            "      - expr: count by (alertname, name) (ALERTS{alertstate=\"firing\"})\n"
            "        eval_time: " +
            std::to_string(minute - 1) + "m\n        exp_samples:" +
            (*firing[i] == '\0' ? std::string(" []\n")
                                : "\n          - labels: '{alertname=\"" + std::string(firing[i]) +
                                      "\"}'\n            value: 1\n");
    }
    std::ofstream(dir.path() / "life.test.yml") << tests;
    const auto tested =
        testing::run_process({promtool, "test", "rules", (dir.path() / "life.test.yml").string()});
    EXPECT_EQ(tested.status, 0) << tested.out << tested.err << tests;

    simdjson::dom::parser parser;
    simdjson::dom::element dashboard;
    ASSERT_EQ(
        parser.load(QUVANE_SOURCE_DIR "/contrib/prometheus/quvane.dashboard.json").get(dashboard),
        simdjson::SUCCESS);
    const std::regex metric("quvane_[a-z_]+");
    std::size_t asked = 0;
    for (const auto panel : dashboard["panels"].get_array()) {
        for (const auto target : panel["targets"].get_array()) {
            const std::string expr(target["expr"].get_string().value());
            for (std::sregex_iterator name(expr.begin(), expr.end(), metric), end; name != end;
                 ++name, ++asked) {
                EXPECT_TRUE(families.contains(name->str())) << name->str() << " in " << expr;
            }
        }
    }
    EXPECT_GE(asked, 6U);
}

TEST_F(Metrics, PromtoolTestsTheRulesAndNodeExporterServesTheSeries) {
    if (!std::filesystem::exists(promtool) || !std::filesystem::exists(node_exporter)) {
        GTEST_SKIP() << "promtool or prometheus-node-exporter (Debian's prometheus and "
                        "prometheus-node-exporter) is not installed";
    }
    const auto rules = testing::run_process(
        {promtool, "test", "rules", QUVANE_SOURCE_DIR "/contrib/prometheus/quvane.rules.test.yml"});
    EXPECT_EQ(rules.status, 0) << rules.out << rules.err;

    testing::TemporaryDirectory textfiles;
    ASSERT_EQ(run({"--metrics-file", (textfiles.path() / "quvane.prom").string(), "list"}).status,
              0);
    // A loopback port of its own, served for one scrape and stopped by its pid.
    const std::string address = "127.0.0.1:" + std::to_string(20000 + ::getpid() % 20000);
    const auto exporter = testing::start_until_ready(
        {node_exporter, "--web.listen-address=" + address, "--collector.disable-defaults",
         "--collector.textfile", "--collector.textfile.directory=" + textfiles.path().string()},
        2, "msg=\"Listening on\"");
    ASSERT_GT(exporter.pid, 0) << "node_exporter did not listen on " << address;
    const std::string scraped =
        testing::run_process({"/usr/bin/python3", "-c",
                              "import urllib.request,sys;sys.stdout.write(urllib.request.urlopen("
                              "'http://" +
                                  address + "/metrics',timeout=10).read().decode())"})
            .out;
    ::kill(exporter.pid, SIGTERM);
    ::waitpid(exporter.pid, nullptr, 0);
    EXPECT_THAT(scraped, HasSubstr("quvane_up 1"));
    EXPECT_THAT(scraped,
                HasSubstr(R"(quvane_patch_status{name="CVE-2024-1086",status="NOT-APPLIED")"));
    EXPECT_THAT(scraped, HasSubstr("node_textfile_scrape_error 0"));
}

}  // namespace
}  // namespace quvane
