#include "dispatch/command_table.h"

#include "certstore/pw_checker.h"
#include "handlers/storage_manager.h"

namespace {

const Command kCommands[] = {
    {'A', 2, [](CommandContext& c, LONG* e, char* a) { return c.manager.storeAuthority(e, a); }},
    {'B', 7, [](CommandContext& c, LONG* e, char* a) { return c.manager.storeBlob(e, a, 0); }},
    {'C', 2, [](CommandContext& c, LONG* e, char* a) { return c.manager.storeCertificate(e, a); }},
    {'D', 3, [](CommandContext& c, LONG* e, char* a) { return c.manager.deletePending(e, a); }},
    {'E', 3, [](CommandContext&, LONG* e, char* a) { return deleteHwidCertificate(e, a); }},
    {'H', 2, [](CommandContext& c, LONG* e, char* a) { return c.manager.storeHwid1(e, a); }},
    // The subject is changed in place (':' to ','): the text is WinMain's own copy.
    {'K', 2,
     [](CommandContext& c, LONG* e, char* a) { return PW_checker::checkPrivateKey(e, a, c.key); }},
    {'N', 7, [](CommandContext& c, LONG* e, char* a) { return c.manager.storeBlob(e, a, 1); }},
    {'Q', 2, [](CommandContext& c, LONG* e, char* a) { return c.manager.createPKCS10(e, a); }},
    {'R', 2, [](CommandContext& c, LONG* e, char* a) { return c.manager.setRights(e, a); }},
    {'W', 2, [](CommandContext& c, LONG* e, char* a) { return c.manager.storeHwid2(e, a); }},
};

}  // namespace

const Command* findCommand(char letter) {
  for (const Command& command : kCommands)
    if (command.letter == letter) return &command;
  return nullptr;
}

int countFields(const char* text) {
  int fields = 1;
  for (const char* p = text; *p; ++p)
    if (*p == ',') ++fields;
  return fields;
}
