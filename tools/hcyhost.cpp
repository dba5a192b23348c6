// hcyhost: a small simulator host. It drives the library through its
// exports the way a simulator would: radios, each on a sound card of its
// own or two to a split stereo card (a virtual one whose microphone reads a
// WAV file or a tone and whose speaker writes one, or the default devices
// of a real back end for a single card), keyed while the microphone file
// plays, for --key seconds, by a schedule, by a playback device that plays
// a WAV file into radio 1 or by a speech device that speaks a text into it,
// and a report of what each radio heard (radio 1's transmissions also
// transcribed by a speech device, when asked). A WAV record radio beside
// radio 1 can record what radio 1 sends. Or, instead of the radios, one
// interphone station that dials or answers and talks once its call is up.
//
// It says "radio N listening on port P" once it can hear: its radios are
// wired and the library's sockets are bound (the ports are set on the
// library's network thread, after hcySetNetworkPort has returned) and, in a
// federation, their objects are registered; only then it keys. At the end it
// prints when the first sample of each WAV file was captured or played, on
// the machine's monotonic clock, so that two hosts' files can be laid on one
// time line.
#include <cstddef>
#include <vector>

#include "hcyhost.h"

using namespace hcyhost;

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    const RunPlan plan = PlanRun(o);
    std::vector<Radio> radios(static_cast<std::size_t>(o.radios));
    if (!MakeSoundCards(o, radios)) return 1;
    const Library library = StartLibrary(o, argv[0]);
    if (o.station) {
        Radio& first = radios.front();
        first.device = OpenCard(o.card, first, o.sound == "virtual");
        Check(first.device > 0, "opening the sound card");
        const int rc = RunStation(o, first.device, first.microphone, plan.keySeconds,
                                  o.seconds ? *o.seconds : 10);
        hcyExit();
        hcyplatDestroyWindow(library.window);
        return rc;
    }
    if (!WireRadios(o, radios, library.network)) return 1;
    const Devices devices = OpenDevices(o, radios.front());
    PrintListening(o, radios);
    return RunRadios(o, plan, radios, devices, library);
}
