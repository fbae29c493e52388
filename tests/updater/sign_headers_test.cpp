// The common headers and the request signature, checked from the collector's side: a real
// provider with the signing plugin posts to a local collector, and Python's hmac module
// recomputes the signature from what arrived.
#include "Berth/BerthProvider.h"
#include "flow_support.h"
#include "platform/crypto/HMAC.h"
#include "updater/Common/Network/API.h"
#include "updater/Common/Network/SignPlugin.h"
#include "updater/Log.h"

using namespace flow_test;
using Lanternfly_Updater::API;
using Lanternfly_Updater::HMACAlgorithm;
using Lanternfly_Updater::SignPlugin;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World(false));

const std::string kSecret = "Hq4TmVbR8xKp2NcWz7LdYs3e";

std::string python(const std::string& script, const std::vector<std::string>& arguments = {}) {
    const auto file = World::get().dir / "check.py";
    writeFile(file, script);
    std::string command = "python3 '" + file.string() + "'";
    for (const auto& a : arguments) command += " '" + a + "'";
    int status = -1;
    auto out = runCommand(command + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    return out;
}

struct ReportTarget : Berth::TargetType {
    platform::URL base;
    platform::Data body;
    explicit ReportTarget(platform::URL base, platform::Data body) : base(std::move(base)), body(std::move(body)) {}
    platform::URL baseURL() const override { return base; }
    std::string path() const override { return "/api/v1/event/report/batch"; }
    Berth::HTTPMethod method() const override { return Berth::HTTPMethod("POST"); }
    platform::Data sampleData() const override { return {}; }
    Berth::Task task() const override {
        return Berth::Task::RequestCompositeData{body, Berth::Parameters{{"batch", platform::Value("1")}}};
    }
    std::optional<Berth::HeaderFields> headers() const override {
        auto fields = API::headers();
        fields["Content-Type"] = "application/json";
        return fields;
    }
};

}  // namespace

TEST(CommonHeaders, DescribeTheClientAndTheLocale) {
    struct Case {
        const char* locale;
        const char* language;
        const char* country;
    };
    for (const Case& c : {Case{"zh_CN.UTF-8", "zh-CN", "CN"}, Case{"en", "en-None", "None"}}) {
        SCOPED_TRACE(c.locale);
        // The environment is changed only while no other thread reads it: the log queue,
        // which asks the locale library for the default locale as it writes, is drained first.
        Lanternfly_Updater::finishLogging();
        setenv("LC_ALL", c.locale, 1);
        const auto before = static_cast<long long>(platform::Date::now().timeIntervalSince1970());
        auto headers = API::headers();
        const auto after = static_cast<long long>(platform::Date::now().timeIntervalSince1970());
        std::map<std::string, std::string> expected = {{"X-Param-PLAT", "4"},
                                                       {"X-Param-VN", "3.2.1"},
                                                       {"X-Param-VC", "321"},
                                                       {"X-Param-PKGN", "com.skyreach.updater"},
                                                       {"X-Param-CHN", "abc"},
                                                       {"X-Param-LANG", c.language},
                                                       {"X-Param-CNT", c.country},
                                                       {"X-Param-REL", "prod"},
                                                       {"X-Param-client-id", ""},
                                                       {"X-Param-OPR", "None"},
                                                       {"X-Param-TS", headers["X-Param-TS"]}};
        EXPECT_EQ(headers, expected);
        const auto ts = std::stoll(headers["X-Param-TS"]);
        EXPECT_TRUE(ts >= before && ts <= after) << ts;
    }
    Lanternfly_Updater::finishLogging();
    unsetenv("LC_ALL");
}

TEST(Signing, HMACsMatchPythonForEveryAlgorithm) {
    const std::string message = "POST/path?q=1x-param-a=Zé&x-param-b=2{\"k\":\"値\"}";
    const char* names[] = {"md5", "sha1", "sha224", "sha256", "sha384", "sha512"};
    auto expected = python("import hmac, sys\n"
                           "for name in ['md5', 'sha1', 'sha224', 'sha256', 'sha384', 'sha512']:\n"
                           "    print(hmac.new(sys.argv[1].encode(), sys.argv[2].encode(), name).hexdigest())\n",
                           {kSecret, message});
    std::string ours;
    for (int i = 0; i < 6; ++i) {
        auto mac = Lanternfly_Updater::hmac(message, static_cast<HMACAlgorithm>(i), kSecret);
        EXPECT_EQ(mac.size(), 2 * Lanternfly_Updater::digestLength(static_cast<HMACAlgorithm>(i))) << names[i];
        ours += mac + "\n";
    }
    EXPECT_EQ(ours, expected);
}

TEST(Signing, TheMessageTakesOnlyXParamHeadersAndSkipsAnEmptyQuery) {
    ReportTarget target(platform::URL::fileURL("/", true), {});
    for (const char* url : {"http://h/api", "http://h/api?"}) {
        platform::URLRequest request(platform::URL::parse(url));
        request.setValue("Val", "X-Param-B");
        request.setValue("no", "x-param-lower");  // the prefix test is case-sensitive
        request.setValue("json", "Content-Type");
        request.setValue("Up", "X-Param-A");
        request.setHTTPBody(platform::Data::fromString("{}"));
        EXPECT_EQ(SignPlugin::message(request, target), "POST/api/v1/event/report/batchx-param-a=Up&x-param-b=Val{}")
            << url;
    }
    // Undecodable bodies are left out; a request without header fields is not signed.
    platform::URLRequest binary(platform::URL::parse("http://h/api?x=1"));
    binary.setValue("1", "X-Param-PLAT");
    binary.setHTTPBody(platform::Data::fromString("\xff\xfe"));
    EXPECT_EQ(SignPlugin::message(binary, target), "POST/api/v1/event/report/batch?x=1x-param-plat=1");
    platform::URLRequest bare(platform::URL::parse("http://h/api"));
    EXPECT_FALSE(SignPlugin().prepare(bare, target).value("X-Param-SIGN"));
}

TEST(Signing, TheCollectorCanVerifyWhatItReceives) {
    // A collector that writes down the request as it arrived.
    const auto received = World::get().dir / "received.json";
    const auto collector = World::get().dir / "collector.py";
    writeFile(
        collector,
        "import ctypes, http.server, json, os, signal, sys\n"
        "ctypes.CDLL(None).prctl(1, signal.SIGTERM)\n"
        "class Handler(http.server.BaseHTTPRequestHandler):\n"
        "    def log_message(self, *args): pass\n"
        "    def do_POST(self):\n"
        "        body = self.rfile.read(int(self.headers['Content-Length']))\n"
        "        record = {'method': 'POST', 'path': self.path, 'headers': list(self.headers.items()),\n"
        "                  'body': body.decode()}\n"
        "        json.dump(record, open(sys.argv[1] + '.tmp', 'w')); os.rename(sys.argv[1] + '.tmp', sys.argv[1])\n"
        "        reply = b'{\"code\": 0, \"msg\": \"ok\"}'\n"
        "        self.send_response(200); self.send_header('Content-Length', str(len(reply)))\n"
        "        self.end_headers(); self.wfile.write(reply)\n"
        "server = http.server.HTTPServer(('127.0.0.1', 0), Handler)\n"
        "print(server.server_address[1], flush=True)\n"
        "server.serve_forever()\n");
    auto process = platform::Process::create();
    auto out = platform::Pipe::create();
    process->setExecutableURL(platform::URL::fileURL("/usr/bin/python3", false));
    process->setArguments({collector.string(), received.string()});
    process->setStandardOutput(out);
    process->run();
    std::string port;
    for (char c = 0; c != '\n';) {
        auto byte = out->fileHandleForReading()->readData(1);
        ASSERT_EQ(byte.count(), 1u);
        c = static_cast<char>(byte.data()[0]);
        if (c != '\n') port += c;
    }

    const std::string body = "[{\"name\":\"download_pkg\",\"params\":{\"content_string\":\"下载文件失败\"}}]";
    auto provider = Berth::BerthProvider<ReportTarget>::create(nullptr, nullptr, nullptr, nullptr, nullptr,
                                                               {std::make_shared<SignPlugin>()});
    bool done = false;
    std::optional<Berth::BerthResult> result;
    provider->request(ReportTarget(*platform::URL::parse("http://127.0.0.1:" + port), platform::Data::fromString(body)),
                      platform::DispatchQueue::main(), nullptr, [&](const Berth::BerthResult& r) {
                          result = r;
                          done = true;
                      });
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }, 10));
    ASSERT_TRUE(result->isSuccess()) << result->failureValue()->debugDescription();
    process->terminate();
    process->waitUntilExit();

    auto verdict = python("import hmac, json, sys\n"
                          "r = json.load(open(sys.argv[1]))\n"
                          "headers = dict(r['headers'])\n"
                          "params = sorted((k.lower(), v) for k, v in headers.items() if k.startswith('X-Param-') and "
                          "k != 'X-Param-SIGN')\n"
                          "message = r['method'] + r['path'] + '&'.join(k + '=' + v for k, v in params) + r['body']\n"
                          "expected = hmac.new(sys.argv[2].encode(), message.encode(), 'sha256').hexdigest()\n"
                          "print('signature', 'ok' if headers.get('X-Param-SIGN') == expected else 'bad ' + message)\n"
                          "print('names', ','.join(k for k, v in params))\n"
                          "print('path', r['path'])\n",
                          {received.string(), kSecret});
    EXPECT_EQ(verdict,
              "signature ok\n"
              "names x-param-chn,x-param-client-id,x-param-cnt,x-param-lang,x-param-opr,x-param-pkgn,x-param-plat,"
              "x-param-rel,x-param-ts,x-param-vc,x-param-vn\n"
              "path /api/v1/event/report/batch?batch=1\n");
}
