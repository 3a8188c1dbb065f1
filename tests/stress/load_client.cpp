// A validating client for the soak run: fetches the snapshot over loopback
// in a loop, one blocking connection per request, and checks every answer:
// complete (Content-Length equals the body bytes received), a JPEG from SOI
// to EOI, decoding at the expected size. Prints the counts; exits non-zero
// when any answer failed or none came.
//   load_client --port N [--seconds S] [--width W --height H]

#include "StressSupport.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using stress::Clock;

struct Options {
    int port = 0;
    int seconds = 60;
    int width = 1920;
    int height = 1080;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--port")
            options.port = value;
        else if (name == "--seconds")
            options.seconds = value;
        else if (name == "--width")
            options.width = value;
        else if (name == "--height")
            options.height = value;
        else
            return false;
    }
    return options.port > 0 && options.port < 65536 && options.seconds > 0;
}

// One request; an empty string when the answer passed every check.
std::string fetchAndCheck(const Options& options, int serial)
{
    const stress::FetchResult answer
        = stress::fetchOnce(options.port, stress::getRequest("/images/VelmarixCamImage.jpg?" + QByteArray::number(serial)));
    if (!answer.error.empty())
        return answer.error;
    if (!answer.header.contains("\r\nContent-Type: image/jpeg\r\n"))
        return "not served as image/jpeg";
    const QByteArray& body = answer.body;
    if (body.size() < 4 || uchar(body[0]) != 0xFF || uchar(body[1]) != 0xD8
        || uchar(body[body.size() - 2]) != 0xFF || uchar(body[body.size() - 1]) != 0xD9)
        return "body is not a JPEG from SOI to EOI";
    const QImage picture = QImage::fromData(body, "JPEG");
    if (picture.isNull())
        return "JPEG does not decode";
    if (picture.width() != options.width || picture.height() != options.height)
        return "decoded at " + std::to_string(picture.width()) + " x " + std::to_string(picture.height());
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s --port N [--seconds S] [--width W --height H]\n", argv[0]);
        return 2;
    }

    long validated = 0;
    long failures = 0;
    double slowestMs = 0;
    double totalMs = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(options.seconds);
    for (int serial = 0; Clock::now() < deadline; ++serial) {
        const auto start = Clock::now();
        const std::string problem = fetchAndCheck(options, serial);
        const double ms = stress::msSince(start);
        if (problem.empty()) {
            ++validated;
            totalMs += ms;
            slowestMs = std::max(slowestMs, ms);
        } else if (++failures <= 10) {
            std::fprintf(stderr, "request %d failed: %s\n", serial, problem.c_str());
        }
    }
    std::printf("validated %ld failures %ld mean_ms %.2f max_ms %.2f\n", validated, failures,
                validated ? totalMs / double(validated) : 0.0, slowestMs);
    return failures == 0 && validated > 0 ? 0 : 1;
}
