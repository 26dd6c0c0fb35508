// Worker threads and the recursive mutex used across the tool. Every TrdInfo
// field is atomic: the build's thread polls what the worker writes.
#pragma once

#include <atomic>
#include <cstdint>

#include <pthread.h>

struct TrdInfo {
    std::atomic<bool> started{false};
    std::atomic<std::uint64_t> id{0};
    std::atomic<bool> result{false};
    std::atomic<bool> askExit{false};
    std::atomic<bool> exited{false};
    std::atomic<bool> joined{false};
    std::atomic<bool> askDetach{false};
    std::atomic<bool> detached{false};
    std::atomic<bool (*)(TrdInfo&)> fn{nullptr};
    std::atomic<void*> data{nullptr};
};

class Mutex {
  public:
    Mutex() = default;
    ~Mutex() { destroy(); }
    Mutex(Mutex const&) = delete;
    Mutex& operator=(Mutex const&) = delete;
    bool init();
    bool lock();
    bool unlock();
    bool destroy();
    bool isInit() const { return initDone.load(); }

  private:
    std::atomic<unsigned char> initDone{0};
    pthread_mutex_t mtx;
    pthread_mutexattr_t attr;
};

bool trdStart(TrdInfo& t, bool (*fn)(TrdInfo&), void* data, bool loop);
bool trdJoin(TrdInfo& t);
bool trdDetach(TrdInfo& t);
void trdAskExit(TrdInfo& t);
void trdAskDetach(TrdInfo& t);
void trdAllAskExit(bool on);
bool trdAllIsExitRequest();
void trdAllAskDetach(bool on);
bool trdAllIsDetachRequest();
bool trdAskWaitExit(TrdInfo& t, int ms);
void trdAllInitCount(int n);
int trdAllCount();
std::uint64_t trdMainId();
void trdMainIdSet(std::uint64_t id);
bool trdMainIdInit();
std::uint64_t trdSelfId();
bool trdIsEqId(std::uint64_t a, std::uint64_t b);
void trdSelfYield();
void trdInfoClear(TrdInfo& t);

bool stdtrdJoin(std::uint64_t id);
bool stdtrdDetach(std::uint64_t id);
void stdtrdSelfExit();
bool stdtrdDestroy(std::uint64_t id);

// Processor cores online, read once; at least 1.
int infoCpuCoresCount();
