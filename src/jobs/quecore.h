// The state and the step every job queue variant shares: slots, a waiting
// list, a running count, an error flag and a caller's done list. A variant
// supplies how a record starts, when it has finished, how it is reaped and
// how to wait for any running record to end.
//
// V provides:
//   using Rec;                        the slot record
//   static long long fixedCapacity;   0, or the one capacity it accepts
//   static bool start(Rec&);          false when the start failed
//   static bool finished(Rec&);       the worker has ended
//   static bool reap(Rec&);           collects the end; true when it succeeded
//   static RunAppInfo& app(Rec&);
//   static void waitAny(QueCore<V>&, long long ms);  returns early when a
//                                     running record ends
// and may replace onInit(n) / onDestroy() of QueVariantBase for state kept
// beside the slots, aheadSlots(n) for records it takes while all n run (a
// worker starts such a record itself when its job ends), and onErr(on) to
// hear of a failure.
#pragma once

#include <utility>

#include "base/containers.h"
#include "exec/run.h"

struct QueVariantBase {
    static constexpr long long fixedCapacity = 0;
    static bool onInit(long long) { return true; }
    static void onDestroy() {}
    static long long aheadSlots(long long) { return 0; }
    static void onErr(bool) {}
};

template <class V> class QueCore {
  public:
    using Variant = V;
    using Rec = typename V::Rec;

    long long capacity = 0;
    Vect1p_Vobj<Rec> slots;
    Vect1p_Vobj<Rec> waiting;
    long long waitHead = 0; // the waiting list's front; taken records stay behind it
    long long running = 0;
    bool err = false;
    Vect1p_Vobj<RunAppInfo>* done = nullptr;
    long long advanceMs = 10;
    long long waitMs = 10;

    long long countWaitStart() const { return waiting.size() - waitHead; }
    // Records the queue can take now, those handed ahead included.
    long long room() const { return slots.size() - running - countWaitStart(); }
    void setErr(bool on) {
        err = on;
        V::onErr(on);
    }

    void dropWaiting() {
        waiting.clear();
        waitHead = 0;
    }

    void clear() {
        dropWaiting();
        setErr(false);
        running = 0;
        for (Rec& r : slots)
            r = Rec();
    }

    void destroy() {
        // The variant first: a worker still running uses its slot's record.
        V::onDestroy();
        waiting.destroy();
        waitHead = 0;
        slots.destroy();
        running = 0;
        done = nullptr; // the capacity stays: the run's summary reports it
    }

    bool initMax(long long n) {
        if (V::fixedCapacity > 0) n = V::fixedCapacity;
        if (n < 2) n = 1;
        err = false;
        running = 0;
        dropWaiting();
        // Slots are made once here: a running worker keeps the address of its own.
        V::onDestroy();
        slots.destroy();
        capacity = 0;
        long long total = n + V::aheadSlots(n);
        if (!slots.reserve(total)) return false;
        for (long long i = 0; i < total; ++i)
            slots.addVal(Rec());
        if (!V::onInit(n)) {
            slots.destroy();
            return false;
        }
        capacity = n;
        setErr(false);
        return true;
    }

    bool initSleep(long long advance, long long wait) {
        if (advance < 0 || wait < 0) return false;
        if (V::fixedCapacity == 1) return true; // the callback variant does not pause
        advanceMs = advance;
        waitMs = wait;
        return true;
    }

    bool fail() {
        setErr(true);
        dropWaiting();
        return false;
    }

    bool advance() {
        bool ok = true;
        if (running > 0) {
            for (Rec& r : slots) {
                if (!V::app(r).started || !V::finished(r)) continue;
                if (!V::reap(r)) ok = false;
                if (done) done->addVal(V::app(r));
                r = Rec();
                --running;
            }
        }
        if (!ok || err) return fail();
        if (countWaitStart() < 1 || running >= slots.size()) return true;
        bool startedAny = false;
        for (Rec& r : slots) {
            if (countWaitStart() < 1) break;
            if (V::app(r).started) continue;
            r = std::move(waiting[waitHead]);
            ++waitHead;
            ++running;
            if (!V::start(r)) {
                // A worker that never began has nothing to reap.
                if (!V::app(r).started) {
                    r = Rec();
                    --running;
                }
                return fail();
            }
            startedAny = true;
        }
        if (countWaitStart() < 1) dropWaiting();
        // Only a full queue pauses: with a slot to spare the caller may push
        // again at once, and a pause per push would run the jobs one by one.
        if (startedAny && running >= slots.size() && advanceMs > 0) V::waitAny(*this, advanceMs);
        return true;
    }

    bool pushAdvance(Rec&& rec) {
        if (capacity < 1 || err) return false;
        if (!waiting.addVal(std::move(rec))) return false;
        return advance();
    }

    bool advanceWaitAll() {
        if (capacity < 1) return false;
        bool ok = true;
        while (running + countWaitStart() != 0) {
            if (!advance()) ok = false;
            if (running > 0) V::waitAny(*this, waitMs);
        }
        return ok && !err;
    }
};
