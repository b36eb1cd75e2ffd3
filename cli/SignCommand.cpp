// kztool sign-update: the signature an update package is published with.

#include "Commands.h"

#include "update/PackageTrust.h"

namespace kz::cli {

namespace {

int RunSignUpdate(const QStringList &args, Io &io) {
    if (args.size() != 2 || args[0].isEmpty() || args[1].isEmpty() || args[0].startsWith(u'-') ||
        args[1].startsWith(u'-'))
        return kExitUsage;
    const QString signature = args[1] + QLatin1String(kSignatureSuffix);
    QString error;
    if (!SignPackage(args[0], args[1], signature, &error)) {
        io.err << "kztool sign-update: " << error << '\n';
        return kExitFailed;
    }
    io.out << signature << '\n';
    return kExitOk;
}

} // namespace

static const CommandRegistrar kSignUpdate{
    {"sign-update",
     "sign-update KEY PACKAGE\n"
     "    Signs an update package with the Ed25519 private key KEY (PEM, unencrypted) and\n"
     "    writes the 64-byte signature to PACKAGE.sig, which the site publishes beside it.\n"
     "    The player and vupdate take only packages signed for the public key update.pub\n"
     "    in their program directory.",
     &RunSignUpdate}};

} // namespace kz::cli
