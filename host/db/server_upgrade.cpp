#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/db/dialect.h"
#include "host/db/policy_order.h"
#include "host/db/replaced_indexes.h"
#include "host/db/server_access.h"
#include "host/db/server_tables.h"
#include "host/db/sqlite_schema.h"
#include "host/db/statement_text.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

// SQL Server's guards (triggers and functions, written CREATE OR ALTER so that an upgrade
// writes them again in place), the order its triggers run in, and the operators' right to
// call the session's functions: what each such statement of the schema makes.
enum class GuardStatement { kOther, kGuard, kOrder, kGrant };
constexpr std::string_view kGuardStart = "CREATE OR ALTER ";
constexpr std::string_view kOrderStart = "EXEC sp_settriggerorder @triggername = '";
constexpr std::string_view kGrantStart = "GRANT EXECUTE ON ";

GuardStatement KindOfStatement(std::string_view statement) {
  if (statement.starts_with(kGuardStart)) return GuardStatement::kGuard;
  if (statement.starts_with(kOrderStart)) return GuardStatement::kOrder;
  if (statement.starts_with(kGrantStart)) return GuardStatement::kGrant;
  return GuardStatement::kOther;
}

// The text from `from` up to the first of `stops`; or from the end of `marker`.
std::string Word(std::string_view statement, std::size_t from, std::string_view stops) {
  return std::string(statement.substr(from, statement.find_first_of(stops, from) - from));
}
std::string After(std::string_view statement, std::string_view marker, std::string_view stops) {
  return Word(statement, statement.find(marker) + marker.size(), stops);
}

// The object a guard makes ("dbo.polizas_session_holds"), after TRIGGER or FUNCTION.
std::string GuardName(std::string_view statement) {
  return Word(statement, statement.find(' ', kGuardStart.size()) + 1, " (");
}
std::string OrderedTrigger(std::string_view statement) {
  return Word(statement, kOrderStart.size(), "'");
}

// One row when the database holds what the statement makes, as the statement makes it.
std::pair<std::string, std::vector<StatementValue>> SqlServerInForceQuery(
    const std::string& statement) {
  switch (KindOfStatement(statement)) {
    case GuardStatement::kGuard: {
      // The server may keep a module's text as sent or with "OR ALTER" taken out.
      const std::string as_created = "CREATE " + statement.substr(kGuardStart.size());
      return {
          "SELECT 1 AS v WHERE OBJECT_DEFINITION(OBJECT_ID(?)) COLLATE "
          "Latin1_General_100_BIN2 IN (CAST(? AS NVARCHAR(MAX)), CAST(? AS NVARCHAR(MAX)))",
          {GuardName(statement), statement, as_created}};
    }
    case GuardStatement::kOrder: {
      // OBJECTPROPERTY's ExecIsFirstUpdateTrigger and the like.
      const std::string event = AsciiLower(After(statement, "@stmttype = '", "'"));
      return {"SELECT 1 AS v WHERE OBJECTPROPERTY(OBJECT_ID(?), ?) = 1",
              {OrderedTrigger(statement), "ExecIs" + After(statement, "@order = '", "'") +
                                              static_cast<char>(event.front() - 'a' + 'A') +
                                              event.substr(1) + "Trigger"}};
    }
    case GuardStatement::kGrant:
      return {
          "SELECT 1 AS v FROM sys.database_permissions WHERE class = 1 AND major_id = "
          "OBJECT_ID(?) AND grantee_principal_id = DATABASE_PRINCIPAL_ID(?) AND type = 'EX' "
          "AND state IN ('G', 'W')",
          {Word(statement, kGrantStart.size(), " "), After(statement, " TO ", " ")}};
    case GuardStatement::kOther:
      break;
  }
  throw Error("not a statement of the guards: " + statement);
}

// Whether the schema's function of that name has this body (PostgreSQL).
bool HasBody(Database& database, const std::string& name, const std::string& body) {
  auto same = database.HostQuery(
      "SELECT 1 AS v FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace WHERE "
      "n.nspname = current_schema() AND p.proname = ? AND p.prosrc = ?",
      {name, body});
  const bool current = !same->Eof();
  same->Close();
  return current;
}

bool PostgreSqlPolicyOrderFunctionsCurrent(Database& database) {
  for (const auto& [name, body] : PostgreSqlPolicyOrderFunctions())
    if (!HasBody(database, name, body)) return false;
  return true;
}

// A function of PostgreSQL's schema as its statement writes it: what the server keeps of it,
// and the statement that writes it again in place (its grants and triggers stay, its
// settings go).
struct WrittenFunction {
  std::string name;  // as the statement spells it
  std::string key;   // as the server keeps it, in lower case
  std::string body;
  bool definer;     // runs as its owner
  char volatility;  // pg_proc.provolatile
  bool pinned;      // its search path fixed to the schema (PostgreSqlFixedSearchPath)
  std::string again;
};

// Every function the schema's statements write. polizas_server_now is written by a DO block
// for the time zone of the session that makes the schema, and is left as it was made.
std::vector<WrittenFunction> PostgreSqlFunctionsWritten() {
  constexpr std::string_view kCreate = "CREATE FUNCTION ";
  constexpr std::string_view kReplace = "CREATE OR REPLACE FUNCTION ";
  std::vector<std::string> pinned = PostgreSqlGuardFunctions();
  for (const auto& [name, body] : PostgreSqlPolicyOrderFunctions()) pinned.push_back(name);
  std::vector<WrittenFunction> functions;
  for (const std::string& statement : PostgreSqlSchema()) {
    std::string_view rest = statement;
    if (rest.starts_with(kCreate)) {
      rest.remove_prefix(kCreate.size());
    } else if (rest.starts_with(kReplace)) {
      rest.remove_prefix(kReplace.size());
    } else {
      continue;
    }
    const std::size_t as = rest.find(" AS ");
    const std::string_view head = rest.substr(0, as);
    const std::string_view quoted = rest.substr(as + 4);
    const std::size_t quote = quoted.starts_with("$$") ? 2 : 1;  // else 'text'
    WrittenFunction function{.name = std::string(head.substr(0, head.find('('))),
                             .key = {},
                             .body = std::string(quoted.substr(quote, quoted.size() - 2 * quote)),
                             .definer = head.find(" SECURITY DEFINER") != std::string_view::npos,
                             .volatility = head.find(" IMMUTABLE") != std::string_view::npos ? 'i'
                                           : head.find(" STABLE") != std::string_view::npos  ? 's'
                                                                                             : 'v',
                             .pinned = false,
                             .again = std::string(kReplace) + std::string(rest)};
    function.key = AsciiLower(function.name);
    function.pinned = std::ranges::find(pinned, function.key) != pinned.end();
    functions.push_back(std::move(function));
  }
  return functions;
}

// A trigger of PostgreSQL's schema: its name and table as its statement spells them, and
// the statement that makes it alone (some are made by a block that makes them where missing).
struct WrittenTrigger {
  std::string name, table, create;
};

// Every trigger the schema's statements make.
std::vector<WrittenTrigger> PostgreSqlTriggersWritten() {
  constexpr std::string_view kCreate = "CREATE TRIGGER ";
  constexpr std::string_view kExecute = " EXECUTE FUNCTION ";
  std::vector<WrittenTrigger> triggers;
  for (const std::string& statement : PostgreSqlSchema()) {
    for (std::size_t at = statement.find(kCreate); at != std::string::npos;
         at = statement.find(kCreate, at + kCreate.size())) {
      const std::size_t end = statement.find("()", statement.find(kExecute, at)) + 2;
      const std::string create = statement.substr(at, end - at);
      triggers.push_back({Word(create, kCreate.size(), " "), After(create, " ON ", " "), create});
    }
  }
  return triggers;
}

bool IsAsWritten(Database& database, const WrittenFunction& function) {
  auto same = database.HostQuery(
      std::string("SELECT 1 AS v FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
                  "WHERE n.nspname = current_schema() AND p.proname = ? AND p.prosrc = ? AND "
                  "p.prosecdef = ") +
          (function.definer ? "true" : "false") + " AND p.provolatile = '" + function.volatility +
          "' AND p.proconfig IS NOT DISTINCT FROM " +
          (function.pinned ? "ARRAY['search_path=' || quote_ident(current_schema()) || ', pg_temp']"
                           : "NULL"),
      {function.key, function.body});
  const bool current = !same->Eof();
  same->Close();
  return current;
}

}  // namespace

std::vector<std::string> SqlServerGuardsAgain(
    const std::function<bool(const std::string&)>& in_force) {
  std::vector<std::string> again, written;
  for (const std::string& statement : SqlServerSchema()) {
    switch (KindOfStatement(statement)) {
      case GuardStatement::kGuard:
        if (!in_force(statement)) {
          again.push_back(statement);
          written.push_back(GuardName(statement));
        }
        break;
      // Writing a trigger again (ALTER) drops its place first or last: set it again.
      case GuardStatement::kOrder:
        if (std::ranges::find(written, OrderedTrigger(statement)) != written.end() ||
            !in_force(statement))
          again.push_back(statement);
        break;
      case GuardStatement::kGrant:
        if (!in_force(statement)) again.push_back(statement);
        break;
      case GuardStatement::kOther:
        break;
    }
  }
  return again;
}

// Held to the upgrade's end; a second upgrade begun meanwhile is not granted it.
constexpr std::string_view kUpgradeLockGranted =
    "SELECT 1 AS v WHERE pg_try_advisory_xact_lock(hashtext(?))";

// PostgreSQL: one row when the note stamp is the one made before it numbered the notes, and
// one when a trigger function of the schema (of the return type named) is any login's to call.
constexpr std::string_view kFunctionPresent =
    "SELECT 1 AS v FROM pg_proc WHERE oid = to_regprocedure(?)";
constexpr std::string_view kTriggerPresent =
    "SELECT 1 AS v FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid JOIN pg_namespace n "
    "ON n.oid = c.relnamespace WHERE n.nspname = current_schema() AND t.tgname = ?";
// A trigger of the schema's (its table, its name): one row, 1 when it runs for every session,
// 0 when it is disabled or runs only for replicas.
constexpr std::string_view kTriggerEnabled =
    "SELECT CASE WHEN t.tgenabled = 'O' THEN 1 ELSE 0 END AS v FROM pg_trigger t JOIN pg_class "
    "c ON c.oid = t.tgrelid JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
    "current_schema() AND c.relname = ? AND t.tgname = ?";
constexpr std::string_view kNoteStampOfOld =
    "SELECT 1 AS v FROM pg_proc WHERE oid = to_regprocedure(?) AND NOT prosecdef";
constexpr std::string_view kTriggerFunctionOpen =
    "SELECT 1 AS v FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace WHERE "
    "n.nspname = current_schema() AND p.prorettype = to_regtype(?) AND "
    "has_function_privilege('public', p.oid, 'EXECUTE') LIMIT 1";

namespace {

// One upgrade's steps, in one transaction, and what they changed.
class ServerUpgrade {
 public:
  explicit ServerUpgrade(Database& database)
      : database_(database),
        sql_(database.ForHost()),
        postgresql_(database.Dialect() == SqlDialect::kPostgreSql),
        types_(postgresql_ ? PostgreSqlTypes() : SqlServerTypes()) {}

  SchemaUpgrade Run() {
    TransactionScope transaction(sql_);
    RefuseASecondUpgrade();
    // A database made before operators had roles (the first server version) gets the roles,
    // their rights and the guards all as init makes them; what was added to those since
    // comes with them. The roles first: the kept orders' grant names one.
    const bool unguarded =
        postgresql_ && !Present(kFunctionPresent, "polizas_session_administers()");
    if (unguarded) sql_.Execute(PostgreSqlRoles());
    AddPolicyOrder();
    AddMissingIndexes();
    DropReplacedIndexes();
    if (unguarded) {
      AddOperatorAccess();
    } else {
      BringStampsUpToDate();
      if (postgresql_) AddSaveGuards();
    }
    if (postgresql_) {
      WriteFunctionsAgain();
      MakeTriggersAgain();
      CloseTriggerFunctions();
    } else {
      WriteSqlServerGuardsAgain();
    }
    transaction.Commit();
    return std::move(done_);
  }

 private:
  bool Present(std::string_view query, std::string_view name) {
    auto result = database_.HostQuery(std::string(query), {std::string(name)});
    const bool found = !result->Eof();
    result->Close();
    return found;
  }
  const DialectTraits& Traits() const { return host::Traits(database_.Dialect()); }
  void Added(std::string what) { done_.added.push_back(std::move(what)); }

  // Two upgrades at once would each add what the other is adding, and the second fail on
  // the server's catalogue: it is refused at once, saying why.
  void RefuseASecondUpgrade() {
    if (postgresql_ && !Present(kUpgradeLockGranted, "polizas-db upgrade"))
      throw Error(
          "another polizas-db upgrade of this database is running: run it again when it "
          "has ended");
  }

  // The finder's kept orders: the table, its indexes, the triggers that keep it, the
  // operators' right to read it, and a row for every policy there is.
  void AddPolicyOrder() {
    if (!Present(Traits().table_present_query, kPolicyOrderTable)) {
      for (const Table& table : ServerTables())
        if (table.name == kPolicyOrderTable) sql_.Execute(CreateTable(table, types_));
      for (const Index& index : ServerIndexes())
        if (index.table == kPolicyOrderTable) sql_.Execute(CreateIndex(index, types_));
      for (const std::string& statement :
           postgresql_ ? PostgreSqlPolicyOrderTriggers() : SqlServerPolicyOrderTriggers())
        sql_.Execute(statement);
      for (const std::string& grant : GrantsOn(kPolicyOrderTable)) sql_.Execute(grant);
      sql_.Execute(FillPolicyOrder(postgresql_ ? std::string_view() : kSqlServerKeptName));
      Added(std::string(kPolicyOrderTable));
    } else if (postgresql_ && !PostgreSqlPolicyOrderFunctionsCurrent(database_)) {
      for (const std::string& statement : PostgreSqlPolicyOrderFunctionsAgain())
        sql_.Execute(statement);
      Added("locking in the functions that keep " + std::string(kPolicyOrderTable));
    }
  }

  // The indexes the finder and the reports read by, and any other index of the schema.
  void AddMissingIndexes() {
    for (const Index& index : ServerIndexes()) {
      if (index.table == kPolicyOrderTable || !MadeOn(index, postgresql_)) continue;
      if (!Present(Traits().index_present_query, index.name)) {
        sql_.Execute(CreateIndex(index, types_));
        Added(index.name);
      }
    }
  }

  // Their replacements were made above; kept, they would only cost every write and mislead
  // the planner.
  void DropReplacedIndexes() {
    for (const ReplacedIndex& index : kReplacedIndexes) {
      auto made = database_.HostQuery(
          std::string(Traits().index_as_made_query),
          {std::string(index.name), std::string(index.table), std::string(index.columns)});
      const bool as_made = !made->Eof();
      made->Close();
      if (!as_made) continue;
      std::string drop = "DROP INDEX ";
      drop += index.name;
      if (!postgresql_) {
        drop += " ON ";
        drop += index.table;
      }
      sql_.Execute(drop);
      done_.dropped.emplace_back(index.name);
    }
  }

  void AddOperatorAccess() {
    // The server's time in the time zone of the session upgrading it, which GetDate() reads
    // once written again (it read the clock in each session's own time zone).
    if (!Present(kFunctionPresent, "polizas_server_now()")) sql_.Execute(PostgreSqlServerNow());
    for (const std::string& statement : PostgreSqlAccess()) sql_.Execute(statement);
    Added("the operators' roles, their rights and the guards that hold them to them");
  }

  // The stamps the guards put on the operators' notes and policies, of a database that has
  // the roles already.
  void BringStampsUpToDate() {
    if (postgresql_ && Present(kNoteStampOfOld, "polizas_stamp_note()")) {
      sql_.Execute(PostgreSqlNoteStamp());
      sql_.Execute(PostgreSqlFixedSearchPath({"polizas_stamp_note"}));
      Added("the numbering of the operators' notes by the database alone");
    }
    if (!Present(Traits().table_present_query, kReplacedDatesTable)) {
      if (postgresql_) {
        WritePolicyStamp();
      } else {
        // The policies' guard that uses it is written again with the others.
        for (const std::string& statement : SqlServerAccess())
          if (statement.starts_with("CREATE TABLE " + std::string(kReplacedDatesTable)))
            sql_.Execute(statement);
      }
      Added("an edit's policy keeping its date without CHFECHA");
    } else if (postgresql_ &&
               !HasBody(database_, "polizas_stamp_policy", PostgreSqlPolicyStampBody())) {
      WritePolicyStamp();
      // Each version's stamp holds more of the operators to their rights (lately: a state
      // changed only by a Baja, which alone writes its columns).
      Added("the policies' stamp as this version writes it");
    }
  }
  void WritePolicyStamp() {
    for (const std::string& statement : PostgreSqlPolicyStamp()) sql_.Execute(statement);
    sql_.Execute(PostgreSqlFixedSearchPath({"polizas_stamp_policy"}));
  }

  // A database made before them gets the guards that hold an operator to what its own save
  // writes; each statement makes only what is missing.
  void AddSaveGuards() {
    const std::vector<std::string> functions = PostgreSqlSaveGuardFunctions();
    const std::vector<std::string> triggers = PostgreSqlSaveGuardTriggers();
    const bool complete = Present(Traits().table_present_query, kWrittenPoliciesTable) &&
                          std::ranges::all_of(functions,
                                              [&](const std::string& name) {
                                                return Present(kFunctionPresent, name + "()");
                                              }) &&
                          std::ranges::all_of(triggers, [&](const std::string& name) {
                            return Present(kTriggerPresent, AsciiLower(name));
                          });
    if (complete) return;
    for (const std::string& statement : PostgreSqlSaveGuards()) sql_.Execute(statement);
    sql_.Execute(PostgreSqlFixedSearchPath(functions));
    sql_.Execute(PostgreSqlTriggerFunctionsClosed());
    Added("the guards that keep an operator to what its own save writes");
  }

  // Any other function of the schema that is not as this version writes it: GetDate() of a
  // database made before the roles, say. A function made here is any login's to call until
  // the trigger functions are closed, next.
  void WriteFunctionsAgain() {
    for (const WrittenFunction& function : PostgreSqlFunctionsWritten()) {
      if (IsAsWritten(database_, function)) continue;
      sql_.Execute(function.again);
      if (function.pinned) sql_.Execute(PostgreSqlFixedSearchPath({function.key}));
      Added(function.name + "() as this version writes it");
    }
  }
  // Every trigger of the schema that was dropped, or disabled (ALTER TABLE ... DISABLE
  // TRIGGER), since the database was made: a guard that does not run holds nobody. After
  // the functions, which they call.
  void MakeTriggersAgain() {
    for (const WrittenTrigger& trigger : PostgreSqlTriggersWritten()) {
      auto state = database_.HostQuery(std::string(kTriggerEnabled),
                                       {AsciiLower(trigger.table), AsciiLower(trigger.name)});
      const bool present = !state->Eof();
      const bool enabled = present && state->Fields("v").Value().ToLong() == 1;
      state->Close();
      if (!present) {
        sql_.Execute(trigger.create);
        Added("trigger " + trigger.name + " made again");
      } else if (!enabled) {
        sql_.Execute("ALTER TABLE " + trigger.table + " ENABLE TRIGGER " + trigger.name);
        Added("trigger " + trigger.name + " enabled again");
      }
    }
  }
  void CloseTriggerFunctions() {
    if (Present(kTriggerFunctionOpen, "trigger")) {
      sql_.Execute(PostgreSqlTriggerFunctionsClosed());
      Added("trigger functions that no login may call");
    }
  }

  void WriteSqlServerGuardsAgain() {
    const std::vector<std::string> again = SqlServerGuardsAgain([&](const std::string& statement) {
      const auto [query, values] = SqlServerInForceQuery(statement);
      auto result = database_.HostQuery(query, values);
      const bool found = !result->Eof();
      result->Close();
      return found;
    });
    for (const std::string& statement : again) sql_.Execute(statement);
    for (const auto& [kind, what] :
         {std::pair{GuardStatement::kGuard, "the guards as this version writes them"},
          std::pair{GuardStatement::kOrder, "the order the guards run in"},
          std::pair{GuardStatement::kGrant,
                    "the operators' right to call the session's functions"}}) {
      const GuardStatement of = kind;  // a lambda cannot take a structured binding in Clang 14
      if (std::ranges::any_of(again,
                              [of](const std::string& s) { return KindOfStatement(s) == of; }))
        Added(what);
    }
  }

  Database& database_;
  Connection& sql_;
  const bool postgresql_;
  const TypeNames& types_;
  SchemaUpgrade done_;
};

}  // namespace

SchemaUpgrade UpgradeServerSchema(Database& database) {
  if (database.Dialect() != SqlDialect::kPostgreSql && database.Dialect() != SqlDialect::kSqlServer)
    throw Error("only a server database is upgraded this way");
  RequirePolicyTables(database);
  return ServerUpgrade(database).Run();
}

}  // namespace nv407::host
