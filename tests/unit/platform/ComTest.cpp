#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/com.h"
#include "platform/threads.h"

using namespace platform;

namespace {

TEST(Variant, AccessorsAnswerOnlyForTheirOwnType) {
    LONG number = 0;
    std::wstring text;

    const Variant integer(2001);
    EXPECT_EQ(integer.type(), VT_I4);
    EXPECT_EQ(integer.getI4(&number), S_OK);
    EXPECT_EQ(number, 2001);
    EXPECT_EQ(integer.getString(&text), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(integer.setByRefI4(5), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(integer.getI4(nullptr), E_POINTER);

    Variant string(L"Idle");
    EXPECT_EQ(string.type(), VT_BSTR);
    EXPECT_EQ(string.getString(&text), S_OK);
    EXPECT_EQ(text, L"Idle");
    EXPECT_EQ(Variant(L"12").getI4(&number), DISP_E_TYPEMISMATCH) << "no parsing";

    string.clear();
    EXPECT_EQ(string.type(), VT_EMPTY);
    EXPECT_EQ(string.getString(&text), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Variant().getI4(&number), DISP_E_TYPEMISMATCH);
}

TEST(Variant, AByReferenceArgumentCarriesTheAnswerBackToTheCaller) {
    LONG errorResponse = 11;
    DispParams params{Variant(114), Variant(203), Variant(1), Variant::byRef(&errorResponse)};
    EXPECT_EQ(params.arguments[3].type(), VT_BYREF | VT_I4);

    const Variant copy = params.arguments[3];
    EXPECT_EQ(copy.setByRefI4(12), S_OK);
    EXPECT_EQ(errorResponse, 12) << "a copy refers to the same LONG";
    LONG value = 0;
    EXPECT_EQ(params.getI4(3, &value), S_OK);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(params.getI4(1, &value), S_OK);
    EXPECT_EQ(value, 203) << "natural order";
    EXPECT_EQ(params.getI4(4, &value), DISP_E_PARAMNOTFOUND);

    const Variant dangling = Variant::byRef(nullptr);
    EXPECT_EQ(dangling.getI4(&value), E_POINTER);
    EXPECT_EQ(dangling.setByRefI4(1), E_POINTER);
}

TEST(Bstr, KeepsItsLengthAndEmbeddedNuls) {
    BSTR text = sysAllocString(std::wstring_view(L"a\0b", 3));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(sysStringLen(text), 3u);
    EXPECT_EQ(std::wstring(text, 3), std::wstring(L"a\0b", 3));
    EXPECT_EQ(text[3], L'\0');
    sysFreeString(text);

    BSTR empty = sysAllocString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(sysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], L'\0');
    sysFreeString(empty);

    EXPECT_EQ(sysStringLen(nullptr), 0u);
    sysFreeString(nullptr);
}

TEST(Guid, CanonicalFormIgnoresCaseAndBraces) {
    const std::string canonical = "{0353F054-4D22-44C1-BD26-0F0FE4360036}";
    for (const char* spelling : {"{0353F054-4D22-44C1-BD26-0F0FE4360036}",
                                 "{0353f054-4d22-44c1-bd26-0f0fe4360036}",
                                 "0353f054-4D22-44c1-BD26-0f0fe4360036"}) {
        std::string result;
        EXPECT_TRUE(canonicalGuid(spelling, &result)) << spelling;
        EXPECT_EQ(result, canonical);
    }
    for (const char* bad : {"", "{0353F054-4D22-44C1-BD26-0F0FE4360036", "0353F054-4D22-44C1-BD26-0F0FE436003",
                            "{0353F054-4D22-44C1-BD26-0F0FE43600360}", "{0353F054+4D22-44C1-BD26-0F0FE4360036}",
                            "{0353G054-4D22-44C1-BD26-0F0FE4360036}", " {0353F054-4D22-44C1-BD26-0F0FE4360036}"}) {
        std::string result = "untouched";
        EXPECT_FALSE(canonicalGuid(bad, &result)) << bad;
        EXPECT_EQ(result, "untouched");
    }
    EXPECT_TRUE(sameGuid("{0353f054-4d22-44c1-bd26-0f0fe4360036}", canonical));
    EXPECT_FALSE(sameGuid("{0353F054-4D22-44C1-BD26-0F0FE4360037}", canonical));
    EXPECT_FALSE(sameGuid("not a guid", "not a guid"));
}

// A control object's callback interface: answers "SOStatusUpdate" and notes
// the first argument and the thread of the last call. Reports its
// destruction.
class CallbackSink : public RefCountedDispatch {
public:
    static constexpr DISPID kStatusUpdate = 4;

    explicit CallbackSink(std::atomic<bool>* destroyed) : m_destroyed(destroyed) {}

    HRESULT GetIDsOfNames(std::wstring_view name, DISPID* dispid) override {
        if (name != L"SOStatusUpdate") {
            return DISP_E_UNKNOWNNAME;
        }
        *dispid = kStatusUpdate;
        return S_OK;
    }

    HRESULT Invoke(DISPID, DispParams& params, Variant*) override {
        LONG status = 0;
        const HRESULT result = params.getI4(0, &status);
        lastStatus = status;
        lastThread = currentThreadId();
        return result;
    }

    ULONG references() {
        AddRef();
        return Release();
    }

    std::atomic<LONG> lastStatus{0};
    std::atomic<DWORD> lastThread{0};

private:
    ~CallbackSink() override { *m_destroyed = true; }

    std::atomic<bool>* m_destroyed;
};

TEST(Dispatch, ConcurrentReferencesDestroyTheObjectOnceAtTheLastRelease) {
    std::atomic<bool> destroyed{false};
    auto* sink = new CallbackSink(&destroyed);
    EXPECT_EQ(sink->AddRef(), 2u);
    EXPECT_EQ(sink->Release(), 1u);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([sink] {
            for (int i = 0; i < 10000; ++i) {
                sink->AddRef();
                sink->Release();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(destroyed.load());
    EXPECT_EQ(sink->Release(), 0u);
    EXPECT_TRUE(destroyed.load());
}

TEST(Marshal, HandsTheInterfaceToTheEventThread) {
    std::atomic<bool> destroyed{false};
    auto* sink = new CallbackSink(&destroyed);

    ASSERT_EQ(coInitialize(), S_OK);
    MarshalStream* stream = nullptr;
    ASSERT_EQ(marshalInterThreadInterface(sink, &stream), S_OK);
    coUninitialize();
    EXPECT_EQ(sink->references(), 2u) << "the stream holds a reference";

    HRESULT unmarshalled = E_FAIL;
    HRESULT invoked = E_FAIL;
    DWORD eventThread = 0;
    std::thread events([&] {
        eventThread = currentThreadId();
        coInitialize();
        IDispatch* dispatch = nullptr;
        unmarshalled = getInterfaceAndReleaseStream(stream, &dispatch);
        if (succeeded(unmarshalled)) {
            DISPID id = DISPID_UNKNOWN;
            dispatch->GetIDsOfNames(L"SOStatusUpdate", &id);
            DispParams params{Variant(2001)};
            invoked = dispatch->Invoke(id, params, nullptr);
            dispatch->Release();
        }
        coUninitialize();
    });
    events.join();

    EXPECT_EQ(unmarshalled, S_OK);
    EXPECT_EQ(invoked, S_OK);
    EXPECT_EQ(sink->lastStatus.load(), 2001);
    EXPECT_EQ(sink->lastThread.load(), eventThread);
    EXPECT_EQ(sink->references(), 1u) << "the event thread released its reference";
    sink->Release();
    EXPECT_TRUE(destroyed.load());
}

TEST(Marshal, RefusesThreadsWithoutComAndNeverLeaksTheStreamsReference) {
    std::atomic<bool> destroyed{false};
    auto* sink = new CallbackSink(&destroyed);
    MarshalStream* stream = nullptr;

    EXPECT_EQ(marshalInterThreadInterface(sink, &stream), CO_E_NOTINITIALIZED);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(sink->references(), 1u);

    ASSERT_EQ(coInitialize(), S_OK);
    EXPECT_EQ(coInitialize(), S_FALSE) << "nested";
    coUninitialize();
    EXPECT_EQ(marshalInterThreadInterface(nullptr, &stream), E_INVALIDARG);
    ASSERT_EQ(marshalInterThreadInterface(sink, &stream), S_OK);
    releaseMarshalStream(stream);
    EXPECT_EQ(sink->references(), 1u) << "an unused stream gives its reference back";

    ASSERT_EQ(marshalInterThreadInterface(sink, &stream), S_OK);
    coUninitialize();
    HRESULT result = S_OK;
    IDispatch* dispatch = sink;
    std::thread uninitialised([&] { result = getInterfaceAndReleaseStream(stream, &dispatch); });
    uninitialised.join();
    EXPECT_EQ(result, CO_E_NOTINITIALIZED);
    EXPECT_EQ(dispatch, nullptr);
    EXPECT_EQ(sink->references(), 1u) << "a failed unmarshal still consumes the stream";

    sink->Release();
    EXPECT_TRUE(destroyed.load());
}

}  // namespace
