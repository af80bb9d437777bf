// The plug-in object starved of memory: the object code is linked into this program,
// whose operator new fails at a chosen allocation. Every call either succeeds or
// answers E_OUTOFMEMORY, and one that fails leaves its arguments and the object as
// they were.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "bstr.h"
#include "declshift_i.h"
#include "server.h"

namespace {

// Allocations that may still succeed; negative: no limit.
std::atomic<long> g_allocationsLeft{-1};

}  // namespace

void* operator new(std::size_t size) {
    if (g_allocationsLeft.load() >= 0 && g_allocationsLeft.fetch_sub(1) == 0) throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

STDAPI DllCanUnloadNow();

namespace {

using declshift::com::Bstr;

// Runs `call` with only `allowed` allocations; true when it needed no more.
template <typename Call>
bool WithAllocations(long allowed, Call&& call) {
    g_allocationsLeft = allowed;
    call();
    const bool enough = g_allocationsLeft.load() >= 0;
    g_allocationsLeft = -1;
    return enough;
}

TEST(Memory, CreationFailsCleanly) {
    _clsMain* object = reinterpret_cast<_clsMain*>(1);
    HRESULT hr = S_OK;
    ASSERT_FALSE(WithAllocations(0, [&] {
        hr = declshift::com::CreateClsMain(IID__clsMain, reinterpret_cast<void**>(&object));
    }));
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// GetConst rewrites its by-reference name: under every allocation failure the call
// gives the conversion, the failure sentence (exhausted memory inside the engine is a
// conversion failure), or E_OUTOFMEMORY with nothing changed.
TEST(Memory, GetConstChangesEverythingOrNothing) {
    const std::u16string original = u"TOKEN_ALL_ACCESS As Long";
    const std::u16string converted = u"_TOKEN_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED OR _TOKEN_DUPLICATE";
    int outOfMemory = 0;
    int sentences = 0;
    for (long allowed = 0;; ++allowed) {
        ASSERT_LT(allowed, 10000) << "the call never completes";
        _clsMain* object = nullptr;
        ASSERT_HRESULT_SUCCEEDED(declshift::com::CreateClsMain(IID__clsMain, reinterpret_cast<void**>(&object)));
        Bstr name(original);
        Bstr data(std::u16string(u"STANDARD_RIGHTS_REQUIRED Or TOKEN_DUPLICATE"));
        const BSTR nameBefore = name.get();
        BSTR result = reinterpret_cast<BSTR>(1);
        HRESULT hr = S_OK;
        const bool completed =
            WithAllocations(allowed, [&] { hr = object->GetConst(name.slot(), data.slot(), &result); });
        Bstr owned(result);

        if (hr == E_OUTOFMEMORY) {
            ++outOfMemory;
            EXPECT_EQ(result, nullptr) << allowed;
            EXPECT_EQ(name.get(), nameBefore) << allowed;
            EXPECT_EQ(name.text(), original) << allowed;
        } else {
            ASSERT_EQ(hr, S_OK) << allowed;
            const std::u16string text = owned.text();
            if (text == converted) {
                EXPECT_EQ(name.text(), u"TOKEN_ALL_ACCESS") << allowed;
            } else {
                ++sentences;
                EXPECT_EQ(text, u"REM Sorry I could not convert " + name.text()) << allowed;
            }
        }
        EXPECT_EQ(data.text(), u"STANDARD_RIGHTS_REQUIRED Or TOKEN_DUPLICATE") << allowed;
        object->Release();
        EXPECT_EQ(DllCanUnloadNow(), S_OK) << allowed;
        if (completed) {
            EXPECT_EQ(owned.text(), converted);
            break;
        }
    }
    EXPECT_GT(outOfMemory + sentences, 0);
}

}  // namespace
