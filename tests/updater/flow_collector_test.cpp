// The flow with the real event-reporting client and a local collector: every report
// arrives signed (checked with Python's hmac), with the common headers, as valid JSON even
// when a launch argument is not valid UTF-8; quitting reports "update_stop" and flushes.
#include "flow_support.h"
#include "platform/appkit/NSApplication.h"
#include "updater/AppDelegate.h"
#include "updater/ViewModel/DownloadViewModel.h"

using namespace flow_test;
using Lanternfly_Updater::AppDelegate;
using Lanternfly_Updater::DownloadViewModel;
using Lanternfly_Updater::UpdaterStatus;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

// Appends each request as one JSON line: method, path, headers, body.
const char* kCollector = "import ctypes, http.server, json, signal, sys\n"
                         "ctypes.CDLL(None).prctl(1, signal.SIGTERM)\n"
                         "class Handler(http.server.BaseHTTPRequestHandler):\n"
                         "    def log_message(self, *args): pass\n"
                         "    def do_POST(self):\n"
                         "        body = self.rfile.read(int(self.headers['Content-Length']))\n"
                         "        with open(sys.argv[1], 'a') as f:\n"
                         "            f.write(json.dumps({'path': self.path, 'headers': list(self.headers.items()),\n"
                         "                                'body': body.decode('utf-8', 'replace'), 'utf8': "
                         "body.decode('utf-8', 'strict') is not None}) + '\\n')\n"
                         "        reply = b'{\"code\": 0, \"msg\": \"ok\"}'\n"
                         "        self.send_response(200); self.send_header('Content-Length', str(len(reply)))\n"
                         "        self.end_headers(); self.wfile.write(reply)\n"
                         "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)\n"
                         "print(server.server_address[1], flush=True)\n"
                         "server.serve_forever()\n";

}  // namespace

TEST(UpdateFlowReports, ArriveSignedAsValidJSONAndQuittingFlushesThem) {
    const auto received = World::get().dir / "received.jsonl";
    writeFile(World::get().dir / "collector.py", kCollector);
    auto collector = platform::Process::create();
    auto out = platform::Pipe::create();
    collector->setExecutableURL(platform::URL::fileURL("/usr/bin/python3", false));
    collector->setArguments({(World::get().dir / "collector.py").string(), received.string()});
    collector->setStandardOutput(out);
    collector->run();
    std::string port;
    for (;;) {
        auto byte = out->fileHandleForReading()->readData(1);
        ASSERT_EQ(byte.count(), 1u);
        if (byte.data()[0] == '\n') break;
        port += static_cast<char>(byte.data()[0]);
    }

    auto delegate = std::make_shared<AppDelegate>();
    platform::NSApplication::shared()->setDelegate(delegate);
    bool terminated = false;
    platform::NSApplication::shared()->setExitHandler([&] { terminated = true; });

    // An MD5 argument that is not even valid UTF-8: the work order is refused before the
    // download, and the failure text carries it.
    writeFile(World::get().dir / "packages/plain.zip", "not checked further");
    const std::vector<std::string> arguments = {"updater",
                                                "host",
                                                "http://127.0.0.1:" + port,
                                                "url",
                                                World::get().url("/package/plain.zip"),
                                                "md5",
                                                "bad\xff",
                                                "changeLog",
                                                "",
                                                "appPath",
                                                (World::get().dir / "Apps/Client.app").string(),
                                                "appName",
                                                "Client.app",
                                                "appFolder",
                                                (World::get().dir / "Apps").string()};
    Lanternfly_Updater::setupApp(arguments);
    auto model = DownloadViewModel::create();
    model->configure(delegate->appArgs);
    model->downloadFile();
    ASSERT_TRUE(runMainLoopUntil([&] { return model->updaterStatus->value() == UpdaterStatus::error; }));

    // Quitting mid-update reports "update_stop" and ends once the flush is through.
    platform::NSApplication::shared()->terminate(nullptr);
    ASSERT_TRUE(runMainLoopUntil([&] { return terminated; }, 5));
    auto count = [&] {
        const std::string text = fs::exists(received) ? readFile(received) : "";
        return std::count(text.begin(), text.end(), '\n');
    };
    ASSERT_TRUE(runMainLoopUntil([&] { return count() >= 2; }, 10)) << (fs::exists(received) ? readFile(received) : "");
    collector->terminate();
    collector->waitUntilExit();

    const auto script = World::get().dir / "verify.py";
    writeFile(script,
              "import hmac, json, sys\n"
              "names = []\n"
              "for line in open(sys.argv[1]):\n"
              "    r = json.loads(line); headers = dict(r['headers'])\n"
              "    params = sorted((k.lower(), v) for k, v in headers.items() if k.startswith('X-Param-') and k != "
              "'X-Param-SIGN')\n"
              "    message = 'POST' + r['path'] + '&'.join(k + '=' + v for k, v in params) + r['body']\n"
              "    good = hmac.new(sys.argv[2].encode(), message.encode(), 'sha256').hexdigest() == "
              "headers.get('X-Param-SIGN')\n"
              "    assert good, 'bad signature: ' + message\n"
              "    assert len(params) == 11 and headers['X-Param-PKGN'] == 'com.skyreach.updater', params\n"
              "    for event in json.loads(r['body']):\n"
              "        names.append(event['event'] + ':' + str(event['error']['code']))\n"
              "        if event['event'] == 'download_pkg_fail': print('text', event['error']['msg'].split(' ')[-1])\n"
              "print(' '.join(sorted(names)))\n");
    int status = -1;
    auto verdict = runCommand(
        "python3 '" + script.string() + "' '" + received.string() + "' Hq4TmVbR8xKp2NcWz7LdYs3e 2>&1", &status);
    ASSERT_EQ(status, 0) << verdict;
    EXPECT_EQ(verdict, "text bad\xEF\xBF\xBD\n"
                       // Each report travels in its own upload, so arrival order is not theirs to keep.
                       "download_pkg_fail:1 update_stop:0\n");
}
