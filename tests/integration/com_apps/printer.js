// A script application on the receipt printer: late-bound calls, its own
// object as the callback dispatch, an asynchronous print and its
// OutputComplete. Every step and event is one output line; the last line
// says the script ran to its end.
//   cscript //nologo printer.js DEVICE
var PIDX_DeviceEnabled = 3, PIDX_OutputID = 5, PIDX_PowerNotify = 13, PIDXPtr_AsyncMode = 8001;
var PTR_S_RECEIPT = 2, OPOS_PN_ENABLED = 1;
var device = WScript.Arguments.Item(0);

function say(text) { WScript.Echo(text); }
function step(name, rc) { say(name + " " + rc); return rc; }

var events = {
    SOStatusUpdate: function (status) { say("StatusUpdate " + status); },
    SOOutputComplete: function (id) { say("OutputComplete " + id); },
    // ErrorResponse comes by reference: a script function reads it but
    // cannot answer through it.
    SOError: function (rc, extended, locus, response) { say("Error " + rc + " " + extended + " " + locus + " " + response); },
    SODirectIO: function (number, data, text) { say("DirectIO " + number); },
    SOData: function (status) { say("Data " + status); }
};

var printer = new ActiveXObject("SOCorvane.posprinter");

step("OpenService", printer.OpenService("POSPrinter", device, events));
step("ClaimDevice", printer.ClaimDevice(1000));
// With power reporting on, enabling reports the printer on line, on this
// thread while the call runs.
printer.SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
printer.SetPropertyNumber(PIDX_DeviceEnabled, 1);
say("DeviceEnabled " + printer.GetPropertyNumber(PIDX_DeviceEnabled));
printer.SetPropertyNumber(PIDXPtr_AsyncMode, 1);
step("PrintNormal", printer.PrintNormal(PTR_S_RECEIPT, "from a script\n"));
say("OutputID " + printer.GetPropertyNumber(PIDX_OutputID));
// The receipt's last line goes synchronously: it returns once the printer
// has both jobs. The service object's threads call this thread only while
// it waits inside the service object (Wine's cscript has no WScript.Sleep,
// and its other waits dispatch nothing); ReleaseDevice does, while it stops
// them, and the job's OutputComplete on its way comes in then.
printer.SetPropertyNumber(PIDXPtr_AsyncMode, 0);
step("PrintNormal", printer.PrintNormal(PTR_S_RECEIPT, "thank you\n"));
step("ReleaseDevice", printer.ReleaseDevice());
step("CloseService", printer.CloseService());
say("script finished");
