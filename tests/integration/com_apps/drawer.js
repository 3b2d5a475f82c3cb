// A script application on the cash drawer: open it and wait until it is
// shut. Every step and event is one output line; the last line says the
// script ran to its end.
//   cscript //nologo drawer.js DEVICE
var PIDX_DeviceEnabled = 3;
var device = WScript.Arguments.Item(0);

function say(text) { WScript.Echo(text); }
function step(name, rc) { say(name + " " + rc); return rc; }

// Status updates come from the service object's event thread, while this
// thread dispatches its messages: inside the service object's own waits.
var events = {
    SOStatusUpdate: function (status) { say("StatusUpdate " + status); },
    SODirectIO: function (number, data, text) { say("DirectIO " + number); }
};

var drawer = new ActiveXObject("SOCorvaneCash.SOCvCash");
step("OpenService", drawer.OpenService("CashDrawer", device, events));
step("ClaimDevice", drawer.ClaimDevice(1000));
drawer.SetPropertyNumber(PIDX_DeviceEnabled, 1);
say("DeviceEnabled " + drawer.GetPropertyNumber(PIDX_DeviceEnabled));
step("OpenDrawer", drawer.openDrawer());
step("WaitForDrawerClose", drawer.waitForDrawerClose(10000, 800, 100, 1000));
step("ReleaseDevice", drawer.ReleaseDevice());
step("CloseService", drawer.CloseService());
say("script finished");
