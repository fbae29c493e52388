// The event store: the table through LADatabase, and records whose write failed kept in
// memory, in insertion order, until they are sent or the table can take them.
#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"

#include <algorithm>
#include <map>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

namespace LumenAnalyticsSDK {

namespace {

// Marks the store's own observation of the table's creation.
char tableCreatedContext;

constexpr int cachedRecordWriteAttempts = 3;
// Records dropped at once when memory holds as many as the table may.
constexpr std::size_t cacheDropStep = 100;

}  // namespace

std::shared_ptr<LAEventStore> LAEventStore::eventStoreWithFilePath(const std::string& filePath) {
    // Stores live for the process: the flow steps and the facade reach them by path.
    using Stores = platform::Protected<std::map<std::string, std::shared_ptr<LAEventStore>>>;
    static platform::NoDestructor<Stores> stores;
    return stores->write([&](auto& byPath) {
        auto& store = byPath[filePath];
        if (!store) {
            store = std::make_shared<LAEventStore>();
            store->setupDatabase(filePath);
        }
        return store;
    });
}

LAEventStore::LAEventStore()
    : serialQueue_(platform::DispatchQueue::create(LAQueueLabel("cn.lumen.LAEventStore.", this))) {}

LAEventStore::~LAEventStore() {
    if (database_) database_->unregisterObservation(this, "isCreatedTable", true, &tableCreatedContext);
}

void LAEventStore::setupDatabase(const std::string& filePath) {
    database_ = LADatabase::create(filePath);
    database_->addObserver(shared_from_this(), "isCreatedTable", platform::NSKeyValueObservingOptionNew,
                           &tableCreatedContext);
}

void LAEventStore::observeValueForKeyPath(const std::string& keyPath, const platform::ObjectPtr& object,
                                          const platform::Value::Dictionary& change, void* context) {
    if (context != &tableCreatedContext) return Object::observeValueForKeyPath(keyPath, object, change, context);
    auto created = change.find(platform::NSKeyValueChangeNewKey);
    if (created != change.end() && created->second.asBool().value_or(false) && !recordCaches_.empty())
        retryCachedRecords();
}

void LAEventStore::retryCachedRecords() {
    // A record in flight stays in memory until its upload's delete or restore settles it:
    // written to the table now, it would get a row id its upload does not know and go out
    // a second time.
    std::vector<LAEventRecordPtr> waiting;
    for (const auto& record : recordCaches_)
        if (record->status() == 0) waiting.push_back(record);
    if (waiting.empty()) return;
    for (int attempt = 0; attempt < cachedRecordWriteAttempts; ++attempt) {
        if (database_->insertRecords(waiting)) {
            std::erase_if(recordCaches_, [](const LAEventRecordPtr& record) { return record->status() == 0; });
            return;
        }
    }
}

void LAEventStore::makeRoomInCache() {
    const std::int64_t maximum = LADatabase::maxCacheSize();
    if (maximum <= 0 || recordCaches_.size() < static_cast<std::uint64_t>(maximum)) return;
    LALogWarn("AddObjectToDatabase touch MAX_MESSAGE_SIZE:" + std::to_string(maximum) +
              ", try to delete some old events");
    // The oldest waiting records go first; records in flight only when nothing else can.
    std::size_t dropped = 0;
    std::erase_if(recordCaches_, [&](const LAEventRecordPtr& record) {
        return record->status() == 0 && dropped < cacheDropStep && ++dropped;
    });
    if (dropped == 0)
        recordCaches_.erase(recordCaches_.begin(),
                            recordCaches_.begin() + std::min(cacheDropStep, recordCaches_.size()));
}

std::uint64_t LAEventStore::count() const { return database_->count() + recordCaches_.size(); }

std::uint64_t LAEventStore::recordCountWithStatus(int status) const {
    auto cached = std::count_if(recordCaches_.begin(), recordCaches_.end(),
                                [status](const LAEventRecordPtr& record) { return record->status() == status; });
    return static_cast<std::uint64_t>(cached) + database_->recordCountWithStatus(status);
}

std::optional<std::vector<LAEventRecordPtr>> LAEventStore::selectRecords(std::uint64_t limit, bool isInstantEvent) {
    if (!recordCaches_.empty()) return selectRecordsInCache(limit);
    settleUnsettledRows();
    // Rows still unsettled may read as waiting (their update failed) but must not go out
    // again: ask for that many more and leave them out.
    auto rows = database_->selectRecords(limit + unsettledRows_.size(), isInstantEvent);
    std::erase_if(rows, [this](const LAEventRecordPtr& row) { return unsettledRows_.contains(row->recordID()); });
    if (rows.size() > limit) rows.resize(limit);
    return rows;
}

void LAEventStore::settleUnsettledRows() {
    std::vector<std::string> toDelete, toRestore;
    for (const auto& [row, settlement] : unsettledRows_) {
        if (settlement == Settlement::deleteRow) toDelete.push_back(row);
        if (settlement == Settlement::restoreRow) toRestore.push_back(row);
    }
    if (!toDelete.empty()) deleteRowsInDatabase(toDelete);
    if (!toRestore.empty()) updateRowsInDatabase(toRestore, 0);
}

bool LAEventStore::updateRowsInDatabase(const std::vector<std::string>& rows, int status) {
    bool updated = database_->updateRecords(rows, status);
    for (const auto& row : rows) {
        // A row marked as being sent is remembered whether or not the table took the
        // mark; a restore that failed is tried again before the next select.
        if (status == 1) unsettledRows_[row] = Settlement::inFlight;
        else if (updated) unsettledRows_.erase(row);
        else unsettledRows_[row] = Settlement::restoreRow;
    }
    return updated;
}

bool LAEventStore::deleteRowsInDatabase(const std::vector<std::string>& rows) {
    bool deleted = database_->deleteRecords(rows);
    for (const auto& row : rows) {
        if (deleted) unsettledRows_.erase(row);
        else unsettledRows_[row] = Settlement::deleteRow;  // sent: it must not go out again
    }
    return deleted;
}

std::optional<std::vector<LAEventRecordPtr>> LAEventStore::selectRecordsInCache(std::uint64_t limit) const {
    // A record already being sent (status 1) is not handed out a second time.
    std::vector<LAEventRecordPtr> waiting;
    for (const auto& record : recordCaches_) {
        if (waiting.size() >= limit) break;
        if (record->status() == 0) waiting.push_back(record);
    }
    bool anyWaiting = std::any_of(recordCaches_.begin(), recordCaches_.end(),
                                  [](const LAEventRecordPtr& record) { return record->status() == 0; });
    if (!anyWaiting) return std::nullopt;
    return waiting;
}

bool LAEventStore::insertRecords(const std::vector<LAEventRecordPtr>& records) {
    return database_->insertRecords(records);
}

bool LAEventStore::insertRecord(const LAEventRecordPtr& record) {
    if (!record) return false;
    if (database_->insertRecord(*record)) return true;
    // An event that is empty or cannot be written holds nothing to keep, and in memory it
    // would make every later all-or-nothing write of the kept records fail.
    if (!record->isValid() || !record->content()) return false;
    makeRoomInCache();
    recordCaches_.push_back(record);
    return false;
}

std::vector<LAEventRecordPtr>::iterator LAEventStore::cachedRecord(const std::string& recordID) {
    return std::find_if(recordCaches_.begin(), recordCaches_.end(),
                        [&](const LAEventRecordPtr& record) { return record->recordID() == recordID; });
}

std::vector<std::string>
LAEventStore::idsNotInCache(const std::vector<std::string>& recordIDs,
                            const std::function<void(std::vector<LAEventRecordPtr>::iterator)>& settle) {
    std::vector<std::string> others;
    for (const auto& recordID : recordIDs) {
        if (auto found = cachedRecord(recordID); found != recordCaches_.end()) settle(found);
        else others.push_back(recordID);
    }
    return others;
}

// Ids of records held in memory are settled there, the others (row ids) in the table: a
// record in flight may be in either while the other takes new records. NO when no id
// named anything.
bool LAEventStore::updateRecords(const std::vector<std::string>& recordIDs, int status) {
    auto rows = idsNotInCache(recordIDs, [status](auto found) { (*found)->setStatus(status); });
    bool inCache = rows.size() < recordIDs.size();
    return (!rows.empty() && updateRowsInDatabase(rows, status)) || inCache;
}

bool LAEventStore::deleteRecords(const std::vector<std::string>& recordIDs) {
    auto rows = idsNotInCache(recordIDs, [this](auto found) { recordCaches_.erase(found); });
    bool inCache = rows.size() < recordIDs.size();
    return (!rows.empty() && deleteRowsInDatabase(rows)) || inCache;
}

bool LAEventStore::deleteAllRecords() {
    unsettledRows_.clear();
    if (recordCaches_.empty()) return database_->deleteAllRecords();
    recordCaches_.clear();
    return database_->count() == 0 || database_->deleteAllRecords();
}

void LAEventStore::submit(std::function<bool(LAEventStore&)> operation, Completion completion) {
    auto self = std::static_pointer_cast<LAEventStore>(shared_from_this());
    serialQueue_->async([self, operation = std::move(operation), completion = std::move(completion)] {
        bool succeeded = operation(*self);
        if (completion) completion(succeeded);
    });
}

void LAEventStore::insertRecords(const std::vector<LAEventRecordPtr>& records, Completion completion) {
    submit([records](LAEventStore& store) { return store.insertRecords(records); }, std::move(completion));
}

void LAEventStore::insertRecord(const LAEventRecordPtr& record, Completion completion) {
    submit([record](LAEventStore& store) { return store.insertRecord(record); }, std::move(completion));
}

void LAEventStore::deleteRecords(const std::vector<std::string>& recordIDs, Completion completion) {
    submit([recordIDs](LAEventStore& store) { return store.deleteRecords(recordIDs); }, std::move(completion));
}

void LAEventStore::deleteAllRecordsWithCompletion(Completion completion) {
    submit([](LAEventStore& store) { return store.deleteAllRecords(); }, std::move(completion));
}

}  // namespace LumenAnalyticsSDK
