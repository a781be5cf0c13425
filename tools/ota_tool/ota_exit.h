#ifndef OTA_EXIT_H
#define OTA_EXIT_H

// Exit codes of vantrel-ota (documented in its README). When ports end
// differently, the first of interrupted, port, timeout, refused wins; results
// that could not be written win over all of them.
namespace ota_exit {
enum code
{
    ok = 0,
    refused = 1,       // a device refused, or the upgrade failed otherwise
    usage = 2,         // unknown command or option, missing or bad argument
    image = 3,         // the image file cannot be read or is too large
    port = 4,          // a port could not be found, opened or configured, or was lost
    timeout = 5,       // a device did not answer within --timeout
    output = 6,        // the results could not be written to standard output
    interrupted = 130, // SIGINT, SIGTERM or SIGHUP
};
} // namespace ota_exit

#endif // OTA_EXIT_H
