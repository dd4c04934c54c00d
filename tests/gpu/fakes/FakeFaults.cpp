// Fault injection, call counting and launch recording shared by the stand-in GPU runtimes. Any thread
// may make calls; one mutex guards the books.
#include "FakeFaults.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Fault {
    int skip;
    int times;
    int status;
    int fired;
};

struct Books {
    std::mutex lock;
    std::map<std::string, Fault> faults;
    std::map<std::string, int> calls;
    std::string log;
    std::vector<QfFakeLaunch> launches;
};

Books& TheBooks()
{
    static Books books;
    return books;
}

}   // namespace

bool FakeCallFails(const char* call, int* status)
{
    Books& books = TheBooks();
    const std::lock_guard<std::mutex> lock(books.lock);
    ++books.calls[call];
    books.log += call;
    books.log += '\n';
    const auto found = books.faults.find(call);
    if (found == books.faults.end()) {
        return false;
    }
    Fault& fault = found->second;
    if (fault.skip > 0) {
        --fault.skip;
        return false;
    }
    if (fault.times >= 0 && fault.fired >= fault.times) {
        return false;
    }
    ++fault.fired;
    *status = fault.status;
    return true;
}

void FakeRecordLaunch(const QfFakeLaunch& launch)
{
    Books& books = TheBooks();
    const std::lock_guard<std::mutex> lock(books.lock);
    books.launches.push_back(launch);
}

extern "C" {

void qf_fake_reset(void)
{
    {
        Books& books = TheBooks();
        const std::lock_guard<std::mutex> lock(books.lock);
        books.faults.clear();
        books.calls.clear();
        books.log.clear();
        books.launches.clear();
    }
    FakeResetRuntime();
}

void qf_fake_fail(const char* call, int skip, int times, int status)
{
    if (!call) {
        return;
    }
    Books& books = TheBooks();
    const std::lock_guard<std::mutex> lock(books.lock);
    books.faults[call] = Fault{skip, times, status, 0};
}

int qf_fake_calls(const char* call)
{
    Books& books = TheBooks();
    const std::lock_guard<std::mutex> lock(books.lock);
    const auto found = call ? books.calls.find(call) : books.calls.end();
    return found == books.calls.end() ? 0 : found->second;
}

size_t qf_fake_call_log(char* buffer, size_t size)
{
    Books& books = TheBooks();
    const std::lock_guard<std::mutex> lock(books.lock);
    if (buffer && size > 0) {
        const size_t n = books.log.size() < size - 1 ? books.log.size() : size - 1;
        std::memcpy(buffer, books.log.data(), n);
        buffer[n] = '\0';
    }
    return books.log.size();
}

int qf_fake_launches(QfFakeLaunch* out, int capacity)
{
    Books& books = TheBooks();
    const std::lock_guard<std::mutex> lock(books.lock);
    const int count = static_cast<int>(books.launches.size());
    for (int i = 0; out && i < count && i < capacity; ++i) {
        out[i] = books.launches[static_cast<size_t>(i)];
    }
    return count;
}

}   // extern "C"
