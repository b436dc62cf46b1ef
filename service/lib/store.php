<?php
// The database shared by synchronize.php and admin.php: where it lives, its
// schema, and the few operations both of them need.
declare(strict_types=1);

const VANTREL_CHECK_TYPES = ['ping' => 0, 'download' => 1, 'smtp' => 2, 'pop3' => 3, 'ftp' => 4];

function vantrel_env(string $name): ?string
{
    // Web servers hand their settings over as server variables, the shell as
    // environment variables; either may carry it.
    $value = $_SERVER[$name] ?? getenv($name);
    return is_string($value) && $value !== '' ? $value : null;
}

function vantrel_db_path(): string
{
    return vantrel_env('VANTREL_SERVICE_DB') ?? dirname(__DIR__) . '/data/vantrel.sqlite';
}

function vantrel_open(): PDO
{
    $path = vantrel_db_path();
    $dir = dirname($path);
    if (!is_dir($dir) && !mkdir($dir, 0770, true) && !is_dir($dir)) {
        throw new RuntimeException("cannot create the folder $dir");
    }
    $db = new PDO('sqlite:' . $path, null, null, [
        PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
        PDO::ATTR_DEFAULT_FETCH_MODE => PDO::FETCH_ASSOC,
        PDO::ATTR_TIMEOUT => 10,
    ]);
    $db->exec('PRAGMA foreign_keys = ON');
    $db->exec('PRAGMA journal_mode = WAL');
    vantrel_schema($db);
    return $db;
}

function vantrel_schema(PDO $db): void
{
    $db->exec(<<<'SQL'
        CREATE TABLE IF NOT EXISTS settings (
            name  TEXT PRIMARY KEY,
            value TEXT NOT NULL
        );
        CREATE TABLE IF NOT EXISTS users (
            login     TEXT PRIMARY KEY,
            email     TEXT NOT NULL DEFAULT '',
            full_name TEXT NOT NULL DEFAULT ''
        );
        -- state: 0 active, above 0 suspended, below 0 deleted. Deleted items
        -- stay so that the monitors learn of the deletion and results keep
        -- their item. version grows with every change of the item or its owner.
        CREATE TABLE IF NOT EXISTS items (
            id          INTEGER PRIMARY KEY AUTOINCREMENT CHECK (id BETWEEN 1 AND 2147483647),
            owner       TEXT NOT NULL REFERENCES users(login) ON UPDATE CASCADE,
            state       INTEGER NOT NULL DEFAULT 0,
            name        TEXT NOT NULL,
            url         TEXT NOT NULL,
            check_type  INTEGER NOT NULL DEFAULT 1 CHECK (check_type BETWEEN 0 AND 4),
            search_text TEXT NOT NULL DEFAULT '',
            frequency   INTEGER NOT NULL DEFAULT 0 CHECK (frequency BETWEEN 0 AND 2147483647),
            version     INTEGER NOT NULL DEFAULT 1
        );
        -- What the monitors hold of each item: the version last sent by
        -- "items" and the version whose receipt "confirm" acknowledged.
        CREATE TABLE IF NOT EXISTS confirmations (
            item_id           INTEGER PRIMARY KEY REFERENCES items(id),
            sent_version      INTEGER NOT NULL DEFAULT 0,
            confirmed_version INTEGER NOT NULL DEFAULT 0
        );
        -- time is kept as received: the monitor's local time counted as
        -- seconds since 1970 as if it were UTC.
        CREATE TABLE IF NOT EXISTS results (
            item_id       INTEGER NOT NULL,
            success       INTEGER NOT NULL,
            time          INTEGER NOT NULL,
            response_time INTEGER NOT NULL,
            code          INTEGER NOT NULL,
            received_at   INTEGER NOT NULL
        );
        -- A batch sent again after a lost answer must not count twice.
        CREATE UNIQUE INDEX IF NOT EXISTS results_once
            ON results (item_id, time, success, response_time, code);
        SQL);
}

function vantrel_setting(PDO $db, string $name): ?string
{
    $q = $db->prepare('SELECT value FROM settings WHERE name = ?');
    $q->execute([$name]);
    $value = $q->fetchColumn();
    return $value === false ? null : (string)$value;
}

function vantrel_set_setting(PDO $db, string $name, string $value): void
{
    $db->prepare('INSERT INTO settings (name, value) VALUES (?, ?)
                  ON CONFLICT (name) DO UPDATE SET value = excluded.value')
       ->execute([$name, $value]);
}

/** Runs $work in a write transaction taken at once, so concurrent writers wait instead of failing midway. */
function vantrel_transaction(PDO $db, callable $work): mixed
{
    $db->exec('BEGIN IMMEDIATE');
    try {
        $result = $work($db);
        $db->exec('COMMIT');
        return $result;
    } catch (Throwable $e) {
        $db->exec('ROLLBACK');
        throw $e;
    }
}
