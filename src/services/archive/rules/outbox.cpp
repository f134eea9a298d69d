#include "services/archive/rules/outbox.h"

namespace tev::archive {

const char* outboxTableName(OutboxTable table) {
    switch (table) {
        case OutboxTable::Minutes:
            return "minutes";
        case OutboxTable::Hours:
            return "hours";
        case OutboxTable::Days:
            return "days";
        case OutboxTable::Alerts:
            return "alerts";
    }
    return "minutes";
}

}  // namespace tev::archive
