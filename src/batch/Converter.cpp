#include "batch/Converter.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "batch/Stream.h"
#include "num/RuntimeError.h"

namespace batch {
namespace {

// The error of a point whose conversion threw what the core never throws: that row's
// error, not the run's.
constexpr const char* kUnexpected = "error interno al convertir el punto";

RowResult Guarded(const RowPoint& point, const Conversion& conversion) {
    try {
        return ConvertPoint(point, conversion);
    } catch (...) {
        RowResult r;
        r.error = kUnexpected;
        return r;
    }
}

class InProcess : public Converter {
  public:
    explicit InProcess(const Conversion& c) : conversion_(c) {}
    void Convert(const std::vector<RowPoint>& points, std::vector<RowResult>& results) override {
        results.resize(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) results[i] = Guarded(points[i], conversion_);
    }

  private:
    Conversion conversion_;
};

// What goes to the child and back: plain records, read by the same program that wrote
// them, with the values of a convert::Result (a run-time error by its number). Rows that
// are already errors are not sent.
struct PointRecord {
    double a = 0, b = 0, h = 0;  // lat, lon (degrees) or E, N (metres); h (metres)
    std::int16_t zone = 0;
    bool utm = false;
};

struct ResultRecord {
    double lat = 0, lon = 0, h = 0, E = 0, N = 0;
    std::int16_t zone = 0;
    std::int16_t error = 0;  // the number of the run-time error that stopped it; 0: none
    std::uint8_t status = 0;
    std::uint8_t set = 0;  // ParameterSet + 1; 0: none
    bool point = false, projected = false;
    bool unexpected = false;  // the conversion threw (kUnexpected)
    char zoneText[8] = {};
};

// The run-time error of a number, with the description its factory gives.
num::RuntimeError ErrorOf(int number) {
    switch (number) {
        case num::RuntimeError::kDivisionByZero: return num::DivisionByZero();
        case num::RuntimeError::kInvalidCall: return num::InvalidCall();
        default: return num::Overflow();
    }
}

bool SendAll(int socket, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(socket, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReceiveAll(int socket, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(socket, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

ResultRecord RecordOf(const RowResult& r) {
    ResultRecord out;
    out.unexpected = r.error == kUnexpected;
    out.status = static_cast<std::uint8_t>(r.result.status);
    if (r.result.set) out.set = static_cast<std::uint8_t>(static_cast<int>(*r.result.set) + 1);
    if (r.result.point) {
        out.point = true;
        out.lat = r.result.point->lat;
        out.lon = r.result.point->lon;
        out.h = r.result.point->h;
    }
    if (r.result.utm) {
        out.projected = true;
        out.E = r.result.utm->E;
        out.N = r.result.utm->N;
        out.zone = r.result.utm->zone;
        r.result.utm->zoneText.copy(out.zoneText, sizeof out.zoneText - 1);
    }
    if (r.result.error) out.error = static_cast<std::int16_t>(r.result.error->Number());
    return out;
}

RowResult ResultOf(const ResultRecord& r) {
    RowResult out;
    out.result.status = static_cast<convert::Status>(r.status);
    if (r.set != 0) out.result.set = static_cast<convert::ParameterSet>(r.set - 1);
    if (r.point) out.result.point = mGeo::GeoPoint{r.lat, r.lon, r.h};
    if (r.projected) {
        mGeo::UTMPoint u;
        u.E = r.E;
        u.N = r.N;
        u.zone = r.zone;
        u.zoneText = r.zoneText;
        out.result.utm = std::move(u);
    }
    if (r.error != 0) out.result.error = ErrorOf(r.error);
    out.error = r.unexpected ? kUnexpected : ConversionError(out.result);
    return out;
}

// The child's whole life: requests in, results out, until the parent closes the socket.
[[noreturn]] void Serve(int socket, const Conversion& conversion) {
    try {
        std::vector<PointRecord> requests;
        std::vector<ResultRecord> answers;
        std::uint32_t count = 0;
        while (ReceiveAll(socket, &count, sizeof count)) {
            requests.resize(count);
            if (!ReceiveAll(socket, requests.data(), count * sizeof(PointRecord))) break;
            answers.resize(count);
            for (std::uint32_t i = 0; i < count; ++i) {
                const PointRecord& q = requests[i];
                RowPoint p;
                if (q.utm) {
                    p.kind = RowPoint::Kind::Utm;
                    p.utm = {q.a, q.b, q.zone, q.h};
                } else {
                    p.kind = RowPoint::Kind::Geographic;
                    p.geographic = {q.a, q.b, q.h};
                }
                answers[i] = RecordOf(Guarded(p, conversion));
            }
            if (!SendAll(socket, answers.data(), count * sizeof(ResultRecord))) break;
        }
        ::_exit(0);
    } catch (...) {
        ::_exit(2);
    }
}

class InChild : public Converter {
  public:
    InChild(pid_t pid, int socket) : pid_(pid), socket_(socket) {}
    ~InChild() override {
        ::close(socket_);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }

    void Convert(const std::vector<RowPoint>& points, std::vector<RowResult>& results) override {
        sent_.clear();
        requests_.clear();
        results.resize(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            const RowPoint& p = points[i];
            if (p.kind == RowPoint::Kind::Error) {
                results[i] = RowResult{};
                results[i].error = p.error;
                continue;
            }
            PointRecord q;
            q.utm = p.kind == RowPoint::Kind::Utm;
            q.a = q.utm ? p.utm.E : p.geographic.lat;
            q.b = q.utm ? p.utm.N : p.geographic.lon;
            q.h = q.utm ? p.utm.h : p.geographic.h;
            q.zone = p.utm.zone;
            requests_.push_back(q);
            sent_.push_back(i);
        }
        const auto count = static_cast<std::uint32_t>(requests_.size());
        answers_.resize(count);
        if (!SendAll(socket_, &count, sizeof count) ||
            !SendAll(socket_, requests_.data(), count * sizeof(PointRecord)) ||
            !ReceiveAll(socket_, answers_.data(), count * sizeof(ResultRecord)))
            throw RunError("el proceso auxiliar de conversión ha terminado antes de tiempo");
        for (std::size_t k = 0; k < sent_.size(); ++k) results[sent_[k]] = ResultOf(answers_[k]);
    }

  private:
    pid_t pid_;
    int socket_;
    std::vector<std::size_t> sent_;
    std::vector<PointRecord> requests_;
    std::vector<ResultRecord> answers_;
};

}  // namespace

std::unique_ptr<Converter> LocalConverter(const Conversion& conversion) {
    return std::make_unique<InProcess>(conversion);
}

std::unique_ptr<Converter> ProcessConverter(const Conversion& conversion, const std::vector<int>& closeInChild) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return nullptr;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(sockets[0]);
        ::close(sockets[1]);
        return nullptr;
    }
    if (pid == 0) {
        ::close(sockets[0]);
        for (int fd : closeInChild) ::close(fd);
        // The parent alone removes its temporary output on a signal.
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(s, SIG_DFL);
        Serve(sockets[1], conversion);
    }
    ::close(sockets[1]);
    return std::make_unique<InChild>(pid, sockets[0]);
}

}  // namespace batch
