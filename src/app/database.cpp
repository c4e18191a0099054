#include "app/database.h"

#include <soci/odbc/soci-odbc.h>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>

#include "app/catalogue.h"
#include "app/settings.h"
#include "app/text.h"

namespace edi {
namespace {

bool SameNameAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// ":1", ":2" … become ":p1", ":p2" …, a name every backend takes; quoted text is left alone.
// anonymous: they become "?" instead (SQLite, values bound by position): SQLite looks every
// name up in a list of the names before it, which is slow for thousands of values.
std::string RewritePlaceholders(const std::string& sql, bool anonymous = false) {
  std::string out;
  out.reserve(sql.size() + 8);
  char quote = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ':' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
      if (!anonymous) {
        out += ":p";
        continue;
      }
      out += '?';
      while (i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1]))) ++i;
      continue;
    }
    out += c;
  }
  return out;
}

std::string FormatDouble(double v) {
  if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e18) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    return buf;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

Value ColumnText(const soci::row& row, std::size_t i) {
  if (row.get_indicator(i) == soci::i_null) return std::nullopt;
  switch (row.get_properties(i).get_data_type()) {
    case soci::dt_string:
    case soci::dt_xml: return row.get<std::string>(i);
    case soci::dt_integer: return std::to_string(row.get<int>(i));
    case soci::dt_long_long: return std::to_string(row.get<long long>(i));
    case soci::dt_unsigned_long_long: return std::to_string(row.get<unsigned long long>(i));
    case soci::dt_double: return FormatDouble(row.get<double>(i));
    case soci::dt_date: {
      std::tm tm = row.get<std::tm>(i);
      char buf[64];
      std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                    tm.tm_hour, tm.tm_min, tm.tm_sec);
      return std::string(buf);
    }
    default: return std::string();
  }
}

bool IsUniqueViolation(const soci::soci_error& e) {
  if (auto* s = dynamic_cast<const soci::sqlite3_soci_error*>(&e)) return s->result() == 19;
  if (auto* p = dynamic_cast<const soci::postgresql_soci_error*>(&e)) return p->sqlstate() == "23505";
  if (auto* o = dynamic_cast<const soci::odbc_soci_error*>(&e)) {
    std::string code(reinterpret_cast<const char*>(o->odbc_error_code()));
    return code == "23505" || code == "23000" || (code == "HY000" && o->native_error_code() == 19);
  }
  return false;
}

DatabaseError Wrap(const soci::soci_error& e, const std::string& sql) {
  DatabaseError err(std::string(e.what()) + " [" + sql + "]");
  err.uniqueViolation = IsUniqueViolation(e);
  return err;
}

}  // namespace

// ---------------------------------------------------------------------------------------
Row::Row(std::shared_ptr<const std::vector<std::string>> names, std::vector<Value> values)
    : names_(std::move(names)), values_(std::move(values)) {}

bool Row::Has(std::string_view column) const {
  for (const auto& n : *names_)
    if (SameNameAsciiNoCase(n, column)) return true;
  return false;
}

const Value& Row::Get(std::string_view column) const {
  for (size_t i = 0; i < names_->size(); ++i)
    if (SameNameAsciiNoCase((*names_)[i], column)) return values_[i];
  throw DatabaseError("no column " + std::string(column) + " in the result");
}

std::string Row::Text(std::string_view column) const { return Get(column).value_or(std::string()); }

long long Row::Int(std::string_view column) const {
  const Value& v = Get(column);
  if (!v) throw DatabaseError("column " + std::string(column) + " is null");
  std::string s = TrimSpaces(*v);
  char* end = nullptr;
  long long n = std::strtoll(s.c_str(), &end, 10);
  if (s.empty() || (end && *end != '\0' && *end != '.'))
    throw DatabaseError("column " + std::string(column) + " is not a number: " + s);
  return n;
}

// ---------------------------------------------------------------------------------------
std::string OdbcQuote(const std::string& value) {
  if (value.find_first_of(";{}") == std::string::npos) return value;
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

namespace {
std::string PgQuote(const std::string& value) {
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

DatabaseTarget MakeDatabaseTarget(const ConnectionSettings& s) {
  const std::string user = TrimSpaces(s.userId), password = TrimSpaces(s.password), dsn = TrimSpaces(s.dbString);
  const std::string engine = Upper(TrimSpaces(s.dbEngine));
  DatabaseTarget t;
  if (engine == "SQLITE") {
    t.engine = DbEngine::Sqlite;
    t.connectString = "db=\"" + s.dbFile + "\" timeout=10";
    t.description = "SQLite " + s.dbFile;
    t.sqliteFileMustExist = s.dbFile;
  } else if (engine == "POSTGRESQL") {
    t.engine = DbEngine::Postgresql;
    t.connectString = s.dbConnect + (user.empty() ? "" : " user=" + PgQuote(user)) +
                      (password.empty() ? "" : " password=" + PgQuote(password)) + " connect_timeout=120";
    t.description = "PostgreSQL " + s.dbConnect + (user.empty() ? "" : " user=" + user);
  } else {
    t.engine = DbEngine::Odbc;
    t.connectString = "DSN=" + OdbcQuote(dsn) + ";UID=" + OdbcQuote(user) + ";PWD=" + OdbcQuote(password) + ";";
    t.description = "ODBC DSN=" + dsn + (user.empty() ? "" : ";UID=" + user);
  }
  return t;
}

// ---------------------------------------------------------------------------------------
struct Database::Impl {
  soci::session session;
};

namespace {
// SQLite commits every history row on its own, and in the default rollback journal each
// commit waits for three or four fsyncs. With the write-ahead log and synchronous=NORMAL a
// commit is one append to the log: a committed row is visible to every other connection at
// once and survives a crash of the program; only a power loss can take back the last
// commits before a checkpoint, never damage the file. A database whose journal cannot be
// changed (read-only, in memory) keeps its mode and the full synchronous setting.
void UseWriteAheadLog(soci::session& session) {
  std::string mode;
  try {
    soci::row row;
    soci::statement st(session);
    st.alloc();
    st.prepare("PRAGMA journal_mode=WAL");
    st.exchange(soci::into(row));
    st.define_and_bind();
    if (st.execute(true) && row.size() > 0 && row.get_indicator(0) != soci::i_null) mode = row.get<std::string>(0);
  } catch (const soci::soci_error&) {
    return;
  }
  if (Upper(mode) == "WAL") session << "PRAGMA synchronous=NORMAL";
}
}  // namespace

Database::Database(DatabaseTarget target) : impl_(std::make_unique<Impl>()), target_(std::move(target)) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::Open(const DatabaseTarget& target) {
  std::unique_ptr<Database> db(new Database(target));
  try {
    switch (target.engine) {
      case DbEngine::Sqlite:
        if (!target.sqliteFileMustExist.empty() && !std::filesystem::is_regular_file(target.sqliteFileMustExist))
          throw DatabaseError(TrArgs("データベースファイル {1} がありません (edi db init で作ります)", {target.sqliteFileMustExist}));
        db->impl_->session.open(soci::sqlite3, target.connectString);
        // A connection to a file that is not a database only fails on first use: try it now.
        db->impl_->session << "PRAGMA schema_version";
        UseWriteAheadLog(db->impl_->session);
        break;
      case DbEngine::Postgresql:
        db->impl_->session.open(soci::postgresql, target.connectString);
        db->impl_->session << "SET statement_timeout = 300000";
        break;
      case DbEngine::Odbc:
        db->impl_->session.open(soci::odbc, target.connectString);
        break;
    }
  } catch (const soci::soci_error& e) {
    throw DatabaseError(std::string(e.what()));
  }
  return db;
}

namespace {
struct BoundParams {
  std::deque<std::string> texts;
  std::deque<long long> numbers;
  std::deque<soci::indicator> indicators;
  void Bind(soci::statement& st, const std::vector<Param>& params, bool byPosition = false) {
    int n = 0;
    for (const Param& p : params) {
      std::string name = byPosition ? std::string() : "p" + std::to_string(++n);
      if (auto* s = std::get_if<std::string>(&p)) {
        texts.push_back(*s);
        st.exchange(soci::use(texts.back(), name));
      } else if (auto* i = std::get_if<long long>(&p)) {
        numbers.push_back(*i);
        st.exchange(soci::use(numbers.back(), name));
      } else {
        texts.emplace_back();
        indicators.push_back(soci::i_null);
        st.exchange(soci::use(texts.back(), indicators.back(), name));
      }
    }
  }
};
}  // namespace

std::vector<Row> Database::Query(const std::string& sql, const std::vector<Param>& params) {
  ++statementCount_;
  if (faultHook_) faultHook_(sql);
  std::vector<Row> rows;
  try {
    soci::row row;
    BoundParams bound;
    soci::statement st(impl_->session);
    st.alloc();
    st.prepare(RewritePlaceholders(sql));
    st.exchange(soci::into(row));
    bound.Bind(st, params);
    st.define_and_bind();
    bool got = st.execute(true);
    std::shared_ptr<std::vector<std::string>> names;
    while (got) {
      if (!names) {
        names = std::make_shared<std::vector<std::string>>();
        for (std::size_t i = 0; i < row.size(); ++i) names->push_back(row.get_properties(i).get_name());
      }
      std::vector<Value> values;
      values.reserve(row.size());
      for (std::size_t i = 0; i < row.size(); ++i) values.push_back(ColumnText(row, i));
      rows.emplace_back(names, std::move(values));
      got = st.fetch();
    }
  } catch (const soci::soci_error& e) {
    throw Wrap(e, sql);
  }
  queryEmptyFlag_ = rows.empty() ? "9" : "0";
  return rows;
}

void Database::Execute(const std::string& sql, const std::vector<Param>& params) {
  ExecuteStatement(sql, params, false);
}

void Database::ExecuteByPosition(const std::string& sql, const std::vector<Param>& params) {
  ExecuteStatement(sql, params, true);
}

void Database::ExecuteStatement(const std::string& sql, const std::vector<Param>& params, bool byPosition) {
  ++statementCount_;
  if (faultHook_) faultHook_(sql);
  try {
    BoundParams bound;
    soci::statement st(impl_->session);
    st.alloc();
    st.prepare(RewritePlaceholders(sql, byPosition && target_.engine == DbEngine::Sqlite));
    bound.Bind(st, params, byPosition);
    st.define_and_bind();
    st.execute(true);
  } catch (const soci::soci_error& e) {
    // A batched statement's text is long; its start names it well enough.
    throw Wrap(e, byPosition && sql.size() > 200 ? sql.substr(0, 200) + "…" : sql);
  }
}

void Database::ExecuteForRows(const std::string& sql, std::vector<std::vector<Value>>& columns) {
  if (columns.empty() || columns.front().empty()) return;
  ++statementCount_;
  if (faultHook_) faultHook_(sql);
  try {
    const std::size_t rows = columns.front().size();
    std::vector<std::vector<std::string>> texts(columns.size(), std::vector<std::string>(rows));
    std::vector<std::vector<soci::indicator>> indicators(columns.size(), std::vector<soci::indicator>(rows, soci::i_ok));
    for (std::size_t c = 0; c < columns.size(); ++c)
      for (std::size_t r = 0; r < rows; ++r) {
        if (columns[c][r]) texts[c][r] = std::move(*columns[c][r]);
        else indicators[c][r] = soci::i_null;
      }
    soci::statement st(impl_->session);
    st.alloc();
    st.prepare(RewritePlaceholders(sql, target_.engine == DbEngine::Sqlite));
    for (std::size_t c = 0; c < columns.size(); ++c) st.exchange(soci::use(texts[c], indicators[c]));
    st.define_and_bind();
    st.execute(true);
  } catch (const soci::soci_error& e) {
    throw Wrap(e, sql);
  }
}

namespace {

// One value in COPY's text form: \N for a null; backslash, tab, newline and CR escaped.
void AppendCopyValue(std::string& line, const Param& p) {
  if (std::holds_alternative<std::nullptr_t>(p)) {
    line += "\\N";
  } else if (auto* n = std::get_if<long long>(&p)) {
    line += std::to_string(*n);
  } else {
    for (char c : std::get<std::string>(p)) {
      switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c;
      }
    }
  }
}

// The libpq connection of a PostgreSQL session. The library exports no type information for
// its back ends, so the cast is not checked at run time (the undefined-behaviour sanitizer's
// vptr check would need it): the caller knows from the engine that this is PostgreSQL.
__attribute__((no_sanitize("vptr"))) PGconn* PostgresConnection(soci::session& session) {
  return static_cast<soci::postgresql_session_backend*>(session.get_backend())->conn_;
}

DatabaseError CopyError(PGconn* conn, const PGresult* result, const std::string& sql) {
  DatabaseError err(std::string(PQerrorMessage(conn)) + " [" + sql + "]");
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  err.uniqueViolation = state && std::string_view(state) == "23505";
  return err;
}

}  // namespace

void Database::CopyRows(const std::string& table, const std::string& columnList, const std::vector<std::vector<Param>>& rows) {
  if (rows.empty()) return;
  const std::string sql = "COPY " + table + " (" + columnList + ") FROM STDIN";
  ++statementCount_;
  if (faultHook_) faultHook_(sql);
  if (target_.engine != DbEngine::Postgresql) throw DatabaseError("COPY needs a PostgreSQL connection [" + sql + "]");
  PGconn* conn = PostgresConnection(impl_->session);
  using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;
  Result started(PQexec(conn, sql.c_str()), &PQclear);
  if (PQresultStatus(started.get()) != PGRES_COPY_IN) throw CopyError(conn, started.get(), sql);

  // The lines go out in pieces of about 1 MB; a failure ends the COPY so that the connection
  // is usable again (the transaction is then aborted, and the caller rolls it back).
  std::string chunk;
  const auto send = [&]() {
    const bool ok = PQputCopyData(conn, chunk.data(), static_cast<int>(chunk.size())) == 1;
    chunk.clear();
    return ok;
  };
  bool ok = true;
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) chunk += '\t';
      AppendCopyValue(chunk, row[i]);
    }
    chunk += '\n';
    if (chunk.size() >= (1u << 20) && !(ok = send())) break;
  }
  if (ok && !chunk.empty()) ok = send();
  const std::string failed = ok ? std::string() : std::string(PQerrorMessage(conn));
  PQputCopyEnd(conn, ok ? nullptr : "the rows could not be sent");
  std::optional<DatabaseError> error;
  while (PGresult* r = PQgetResult(conn)) {
    Result finished(r, &PQclear);
    if (!error && PQresultStatus(r) != PGRES_COMMAND_OK) error = CopyError(conn, r, sql);
  }
  if (!ok) throw DatabaseError(failed + " [" + sql + "]");
  if (error) throw *error;
}

void Database::Begin() {
  try {
    impl_->session.begin();
  } catch (const soci::soci_error& e) {
    throw Wrap(e, "BEGIN");
  }
}
void Database::Commit() {
  try {
    impl_->session.commit();
  } catch (const soci::soci_error& e) {
    throw Wrap(e, "COMMIT");
  }
}
void Database::Rollback() {
  try {
    impl_->session.rollback();
  } catch (const soci::soci_error& e) {
    throw Wrap(e, "ROLLBACK");
  }
}

// ---------------------------------------------------------------------------------------
std::string LookupCodeName(Database& db, const std::string& category, const std::string& code) {
  try {
    auto rows = db.Query("SELECT 区分名称 FROM 区分マスタ WHERE 区分= :1 AND 区分ｺｰﾄﾞ= :2", {category, code});
    if (rows.empty()) return {};
    const Value& name = rows.front().at(0);
    return name.value_or(std::string());
  } catch (const DatabaseError&) {
    return {};
  }
}

}  // namespace edi
