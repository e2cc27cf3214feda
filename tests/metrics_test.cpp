// The metrics for Prometheus as their consumers take them: promtool checks the file and the
// alert rules, and a real node_exporter serves the series from its textfile directory.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
