#pragma once
// The POSPrinter service object: the state of one logical device from open
// to close, the life-cycle methods and the property methods. The dispatch
// adapter (PosPrinterDispatch) unpacks the control object's calls into the
// methods below; all of them run on the application's thread.
//
// Every method returns the COM status (S_OK, or S_FALSE when it failed after
// logging) and its OPOS result through pRC and ResultCode.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/ModuleLog.h"
#include "common/OposConstants.h"
#include "platform/com.h"
#include "platform/threads.h"
#include "printer/ModelCatalogue.h"
#include "printer/TransactionBuffer.h"
#include "printer/bitmap/BitmapPipeline.h"
#include "printer/WorkerShared.h"
#include "printer/encode/EscapeTranslator.h"
#include "printer/encode/ModuleEncodeLog.h"

namespace printer {

using platform::BSTR;
using platform::HRESULT;
using platform::IDispatch;
using platform::LONG;

class PosPrinter {
public:
    PosPrinter();
    ~PosPrinter();
    PosPrinter(const PosPrinter&) = delete;
    PosPrinter& operator=(const PosPrinter&) = delete;

    HRESULT CheckHealth(LONG level, LONG* pRC);
    HRESULT ClaimDevice(LONG timeout, LONG* pRC);
    HRESULT ClearInput(LONG* pRC);
    HRESULT ClearOutput(LONG* pRC);
    HRESULT CloseService(LONG* pRC);
    HRESULT COFreezeEvents(LONG freeze, LONG* pRC);
    HRESULT GetOpenResult(LONG* pRC);
    HRESULT OpenService(const std::wstring& deviceClass, const std::wstring& deviceName, IDispatch* dispatch,
                        LONG* pRC);
    HRESULT ReleaseDevice(LONG* pRC);
    HRESULT GetPropertyNumber(LONG index, LONG* pNumber);
    HRESULT SetPropertyNumber(LONG index, LONG number);
    // *pString receives a new system string (null when the index has none).
    HRESULT GetPropertyString(LONG index, BSTR* pString);
    HRESULT SetPropertyString(LONG index, const std::wstring& text);
    // The twins of OpenService, ClaimDevice, ReleaseDevice and CloseService.
    HRESULT Open(const std::wstring& deviceClass, const std::wstring& deviceName, IDispatch* dispatch, LONG* pRC);
    HRESULT Claim(LONG timeout, LONG* pRC);
    HRESULT Release(LONG* pRC);
    HRESULT Close(LONG* pRC);

    HRESULT PrintNormal(LONG station, const std::wstring& data, LONG* pRC);
    HRESULT PrintImmediate(LONG station, const std::wstring& data, LONG* pRC);
    HRESULT CutPaper(LONG percentage, LONG* pRC);
    HRESULT MarkFeed(LONG type, LONG* pRC);
    // Stores the translated data as the top (PTR_L_TOP) or bottom logo.
    HRESULT SetLogo(LONG location, const std::wstring& data, LONG* pRC);
    // F60 only: data1 on the journal and data2 on the receipt, one pass.
    HRESULT PrintTwoNormal(LONG stations, const std::wstring& data1, const std::wstring& data2, LONG* pRC);
    HRESULT TransactionPrint(LONG station, LONG control, LONG* pRC);
    HRESULT RotatePrint(LONG station, LONG rotation, LONG* pRC);
    HRESULT ValidateData(LONG station, const std::wstring& data, LONG* pRC);
    HRESULT ChangePrintSide(LONG side, LONG* pRC);
    // F60's slip station: the form is inserted, printed on, then removed.
    HRESULT BeginInsertion(LONG timeout, LONG* pRC);
    HRESULT EndInsertion(LONG* pRC);
    HRESULT BeginRemoval(LONG timeout, LONG* pRC);
    HRESULT EndRemoval(LONG* pRC);
    HRESULT SetBitmap(LONG number, LONG station, const std::wstring& fileName, LONG width, LONG alignment,
                      LONG* pRC);
    HRESULT PrintBitmap(LONG station, const std::wstring& fileName, LONG width, LONG alignment, LONG* pRC);
    // Command 100 sends the text (after BinaryConversion) as it is.
    HRESULT DirectIO(LONG command, LONG* pData, const std::wstring& text, LONG* pRC);
    HRESULT PrintBarCode(LONG station, const std::wstring& data, LONG symbology, LONG height, LONG width,
                         LONG alignment, LONG textPosition, LONG* pRC);


private:
    enum class Twin { Standard, Older };

    // Sizes of the narrow device class and name, terminating NUL included.
    static constexpr std::size_t kNameSize = 255;

    bool CheckSOStatus(int level);
    // The level-3 state check a method starts with. On failure pRC gets the
    // check's ResultCode and "<method> 1:CheckSOStatus(3) <failure>" is
    // logged at `logLevel`.
    bool enabledFor(const char* method, const char* failure, LONG* pRC, int logLevel = common::level::error);
    HRESULT openService(const char* name, Twin twin, const std::wstring& deviceClass,
                        const std::wstring& deviceName, IDispatch* dispatch, LONG* pRC);
    HRESULT claimDevice(const char* name, Twin twin, LONG timeout, LONG* pRC);
    HRESULT releaseDevice(const char* name, Twin twin, LONG* pRC);
    HRESULT closeService(const char* name, LONG* pRC);
    // A failed claim step: the port is closed and the object stays open.
    HRESULT failClaim(LONG* pRC);
    bool InitThreadSection();
    void stopThreads(const char* name, platform::DWORD waitMs, bool stopDelivery);
    void DelThreadSection();
    void closePort();

    // Collects or prints `data` by its job_mode; 0 or -1.
    std::int32_t PrintJob(std::span<const std::uint8_t> data, std::int32_t mode);
    // Waits for a synchronous or immediate job by the synchronous time-out
    // rule; true when it was written in full.
    bool awaitSynchronous(std::uint64_t ticket, std::int32_t length);
    // What the bitmap pipeline needs of this device now.
    BitmapContext bitmapContext();
    // Lets PrintBMP and ESC|#B print this device's stored bitmaps (at open).
    void attachBitmapPipeline();
    // The station rule of SetBitmap and PrintBitmap, logged under `method`.
    bool bitmapStation(const char* method, LONG station);
    // Refuses a picture wider than the receipt's line; doubles the width for
    // the densest bit-image mode.
    bool bitmapWidth(const char* method, LONG* width);
    // The interactive health check's dialog; true when its check succeeded.
    bool interactiveCheck();
    std::int32_t DoRotationPrint(LONG rotation);
    // The station rule of the methods that print on one station: the
    // receipt, and on F60 also the journal and the slip.
    bool receiptOrF60Station(LONG station) const;
    // F60 slip output waits for an ended insertion.
    bool slipNotReady(LONG station) const;
    // Waits until the slip sensor shows one of the two states, polling
    // every 100 ms; false when `timeout` ms passed first (-1: no limit).
    bool waitForSlip(LONG timeout, std::int32_t wanted, std::int32_t alsoWanted);
    // The slip sensor as the status monitor last read it.
    std::int32_t slipState() const;
    // The common end of an output method: queues the job and reports the
    // outcome under the method's name.
    HRESULT submitJob(const char* method, std::span<const std::uint8_t> job, std::int32_t mode, LONG* pRC,
                      LONG station = common::PTR_S_RECEIPT);
    // Synchronous output that would print now on a station out of paper
    // fails with OPOS_E_EXTENDED and the station's empty code (answered
    // through pRC); nothing is sent. True when it was refused.
    bool refusedForPaper(const char* method, LONG station, std::int32_t mode, LONG* pRC);
    // Converts print data into the staging buffer from `offset` on and
    // applies BinaryConversion, giving the staged length (negative when the
    // conversion refused it). False when the narrow text does not fit.
    bool stageText(const std::wstring& data, std::size_t offset, std::int32_t* staged);
    // The refusals PrintNormal and PrintImmediate share (length, slip, the
    // staging buffer), logged under `method`; then the text is staged.
    bool stagePrintData(const char* method, LONG station, const std::wstring& data, std::size_t offset,
                        std::int32_t* staged);
    void configureTranslator();
    // Converts print data to narrow bytes with BinaryConversion applied;
    // false when the narrow text would not fit the staging buffer. *staged
    // is the converted length, negative when the conversion refused it.
    bool convertText(const std::wstring& data, std::vector<std::uint8_t>* bytes, std::int32_t* staged);

    void SetDeviceEnabled(LONG enabled);
    void SendStatusEVent(LONG status);
    void reportInitialStatus();

    LONG numberProperty(LONG index, LONG current);
    void setNumberProperty(LONG index, LONG number, HRESULT* status);
    void sendCharacterSet(LONG codePage);
    // At enable: a CharacterSet chosen while the printer could not be told
    // goes to it now (a claim's initialisation left it on table 0).
    void sendPendingCharacterSet();
    std::string errorStringText();

    // Trace helpers: a property's state as a trace line, and ResultCode set
    // with its own line.
    void trace(LONG item, LONG value, int level = common::level::debug) const;
    void setResultCode(LONG code);
    HRESULT answer(LONG* pRC, LONG code, HRESULT status);
    // A job that could not be printed: the error that holds the printer
    // (with its extended code) when there is one, else OPOS_E_FAILURE.
    HRESULT answerPrintFailure(LONG* pRC);

    // First member: the log is ready for the rest of construction and closed
    // after everything else.
    const std::shared_ptr<common::ModuleLog> m_log;

    LONG m_opened = 0;
    LONG m_claimed = 0;
    LONG m_deviceEnabled = 0;
    std::atomic<LONG> m_state{1};
    // An event handler may call the object on the delivery thread right
    // after the application's own call set these.
    std::atomic<LONG> m_resultCode{0};
    // Meaningful while ResultCode is OPOS_E_EXTENDED.
    std::atomic<LONG> m_resultCodeExtended{0};
    LONG m_openResult = 0;
    LONG m_powerNotify = 0;
    LONG m_freezeEvents = 0;
    LONG m_characterSet = 437;
    LONG m_flagWhenIdle = 0;
    LONG m_asyncMode = 0;
    LONG m_rotateSpecial = 1;
    LONG m_binaryConversion = 0;
    LONG m_outputId = 0;
    LONG m_mapMode = 1;
    LONG m_errorCode = 0;
    std::string m_checkHealthText;

    IDispatch* m_control = nullptr;  // the control object's, not reference-counted
    platform::DISPID m_idDirectIO = platform::DISPID_UNKNOWN;
    CallbackIds m_callbackIds;

    std::array<char, kNameSize> m_deviceClass{};
    std::array<char, kNameSize> m_deviceName{};

    LONG m_hPort = 0;
    int32_t m_portKind = 0;
    int32_t m_portNumber = 0;
    ModelSettings m_model;
    bool m_asiaCharacter = false;

    // The status slots, PowerState and ErrorLevel: the status monitor keeps
    // them while the device is enabled, so every claim's threads share them.
    const std::shared_ptr<PrinterStatus> m_status = std::make_shared<PrinterStatus>();

    // The translators write their lines through the module log; the
    // translator's buffers (64 KiB of commands) live on the heap.
    ModuleEncodeLog m_encodeLog;
    std::unique_ptr<EscapeTranslator> m_translator;
    std::unique_ptr<std::array<std::uint8_t, kStagingBufferSize>> m_staging;
    TransactionBuffer m_transBuf;
    // The slip's insertion and removal: 1 begun, 2 ended, 0 never begun.
    LONG m_insertionState = 0;
    LONG m_removalState = 0;

    // Created at each claim for that claim's threads; they share it.
    std::shared_ptr<WorkerShared> m_shared;
    std::unique_ptr<platform::WorkerThread> hPrnThread;
    std::unique_ptr<platform::WorkerThread> hEventThread;
    std::unique_ptr<platform::WorkerThread> hSendThread;
};

}  // namespace printer
