<?php
// Administration of the web service from the command line: the password,
// the users, their items, and the results the monitors uploaded.
declare(strict_types=1);

if (PHP_SAPI !== 'cli') {
    http_response_code(403);
    exit("admin.php runs from the command line only.\n");
}

require __DIR__ . '/lib/store.php';

const USAGE = <<<'TXT'
Usage: php admin.php COMMAND ...
  password NEWPASSWORD
  user add LOGIN [--email E] [--name "Full Name"]
  user set LOGIN [--email E] [--name "Full Name"]
  user list
  item add --owner LOGIN --name N --url U [--type ping|download|smtp|pop3|ftp]
           [--search TEXT] [--frequency SECONDS] [--suspended]
  item set ID [--owner LOGIN] [--name N] [--url U] [--type T] [--search TEXT]
           [--frequency SECONDS] [--suspended | --active]
  item delete ID
  item list
  results [ITEM_ID] [--last N]
The database is VANTREL_SERVICE_DB, else data/vantrel.sqlite next to this script.

TXT;

final class UsageError extends Exception
{
}

/** Splits arguments into positional ones and --options; $flags take no value. */
function parse_args(array $args, array $valued, array $flags): array
{
    $positional = [];
    $options = [];
    for ($i = 0; $i < count($args); $i++) {
        $arg = $args[$i];
        if (!str_starts_with($arg, '--')) {
            $positional[] = $arg;
            continue;
        }
        $name = substr($arg, 2);
        if (in_array($name, $flags, true)) {
            $options[$name] = true;
        } elseif (in_array($name, $valued, true)) {
            if (!isset($args[$i + 1])) {
                throw new UsageError("--$name needs a value");
            }
            $options[$name] = $args[++$i];
        } else {
            throw new UsageError("unknown option --$name");
        }
    }
    return [$positional, $options];
}

function whole_number(string $text, string $what, int $min = 0): int
{
    if (preg_match('/^-?[0-9]{1,10}$/', $text) !== 1 || (int)$text < $min || (int)$text > 2147483647) {
        throw new UsageError("$what must be a whole number from $min to 2147483647, not \"$text\"");
    }
    return (int)$text;
}

/** Texts the monitors receive as single lines of at most 255 characters. */
function one_line(string $text, string $what): string
{
    $text = trim($text);
    if (preg_match('/[\r\n]/', $text) === 1 || strlen($text) > 255) {
        throw new UsageError("$what must be one line of at most 255 characters");
    }
    return $text;
}

function item_fields(PDO $db, array $options): array
{
    $fields = [];
    if (isset($options['owner'])) {
        $q = $db->prepare('SELECT 1 FROM users WHERE login = ?');
        $q->execute([$options['owner']]);
        if ($q->fetchColumn() === false) {
            throw new RuntimeException("no user \"{$options['owner']}\"; add it with: user add {$options['owner']}");
        }
        $fields['owner'] = $options['owner'];
    }
    foreach (['name' => 'name', 'url' => 'url'] as $option => $column) {
        if (isset($options[$option])) {
            $fields[$column] = one_line($options[$option], "--$option");
            if ($fields[$column] === '') {
                throw new UsageError("--$option must not be empty");
            }
        }
    }
    if (isset($options['type'])) {
        $type = VANTREL_CHECK_TYPES[strtolower($options['type'])] ?? null;
        if ($type === null) {
            throw new UsageError('--type must be one of ' . implode(', ', array_keys(VANTREL_CHECK_TYPES)));
        }
        $fields['check_type'] = $type;
    }
    if (isset($options['search'])) {
        $fields['search_text'] = $options['search'];
    }
    if (isset($options['frequency'])) {
        $fields['frequency'] = whole_number($options['frequency'], '--frequency');
    }
    if (isset($options['suspended'], $options['active'])) {
        throw new UsageError('--suspended and --active exclude each other');
    }
    if (isset($options['suspended'])) {
        $fields['state'] = 1;
    } elseif (isset($options['active'])) {
        $fields['state'] = 0;
    }
    return $fields;
}

function cmd_password(PDO $db, array $args): void
{
    [$positional] = parse_args($args, [], []);
    if (count($positional) !== 1 || $positional[0] === '') {
        throw new UsageError('password needs exactly one non-empty NEWPASSWORD');
    }
    vantrel_set_setting($db, 'password_md5', md5($positional[0]));
    echo "Password set.\n";
}

function cmd_user(PDO $db, array $args): void
{
    [$positional, $options] = parse_args($args, ['email', 'name'], []);
    $action = $positional[0] ?? '';
    if ($action === 'list' && count($positional) === 1) {
        foreach ($db->query('SELECT login, email, full_name FROM users ORDER BY login') as $u) {
            printf("%s\t%s\t%s\n", $u['login'], $u['email'], $u['full_name']);
        }
        return;
    }
    if (!in_array($action, ['add', 'set'], true) || count($positional) !== 2) {
        throw new UsageError('user add|set LOGIN [--email E] [--name N], or user list');
    }
    $login = one_line($positional[1], 'LOGIN');
    if ($login === '') {
        throw new UsageError('LOGIN must not be empty');
    }
    $email = isset($options['email']) ? one_line($options['email'], '--email') : null;
    $name = isset($options['name']) ? one_line($options['name'], '--name') : null;
    vantrel_transaction($db, function (PDO $db) use ($action, $login, $email, $name): void {
        $exists = $db->prepare('SELECT 1 FROM users WHERE login = ?');
        $exists->execute([$login]);
        $found = $exists->fetchColumn() !== false;
        if ($action === 'add') {
            if ($found) {
                throw new RuntimeException("user \"$login\" exists already");
            }
            $db->prepare('INSERT INTO users (login, email, full_name) VALUES (?, ?, ?)')
               ->execute([$login, $email ?? '', $name ?? '']);
            return;
        }
        if (!$found) {
            throw new RuntimeException("no user \"$login\"");
        }
        $db->prepare('UPDATE users SET email = COALESCE(?, email), full_name = COALESCE(?, full_name) WHERE login = ?')
           ->execute([$email, $name, $login]);
        // The monitors hold the owner's details with each item.
        $db->prepare('UPDATE items SET version = version + 1 WHERE owner = ?')->execute([$login]);
    });
    echo $action === 'add' ? "User $login added.\n" : "User $login changed.\n";
}

function cmd_item(PDO $db, array $args): void
{
    [$positional, $options] = parse_args(
        $args,
        ['owner', 'name', 'url', 'type', 'search', 'frequency'],
        ['suspended', 'active'],
    );
    $action = $positional[0] ?? '';
    if ($action === 'list' && count($positional) === 1 && $options === []) {
        $names = array_flip(VANTREL_CHECK_TYPES);
        echo "ID\tSTATE\tOWNER\tTYPE\tFREQ\tNAME\tURL\n";
        foreach ($db->query('SELECT * FROM items ORDER BY id') as $i) {
            $state = $i['state'] < 0 ? 'deleted' : ($i['state'] > 0 ? 'suspended' : 'active');
            printf("%d\t%s\t%s\t%s\t%s\t%s\t%s\n", $i['id'], $state, $i['owner'], $names[$i['check_type']],
                   $i['frequency'] ?: '-', $i['name'], $i['url']);
        }
        return;
    }
    if ($action === 'add' && count($positional) === 1) {
        $fields = item_fields($db, $options);
        foreach (['owner', 'name', 'url'] as $needed) {
            if (!isset($fields[$needed])) {
                throw new UsageError("item add needs --$needed");
            }
        }
        if (isset($options['active'])) {
            throw new UsageError('--active is for item set');
        }
        $columns = array_keys($fields);
        $db->prepare('INSERT INTO items (' . implode(', ', $columns) . ') VALUES ('
                     . implode(', ', array_fill(0, count($columns), '?')) . ')')
           ->execute(array_values($fields));
        echo 'Item ' . $db->lastInsertId() . " added.\n";
        return;
    }
    if (!in_array($action, ['set', 'delete'], true) || count($positional) !== 2) {
        throw new UsageError('item add|set|delete|list, see the usage');
    }
    $id = whole_number($positional[1], 'ID', 1);
    if ($action === 'delete' && $options !== []) {
        throw new UsageError('item delete takes no options');
    }
    // Column names come from item_fields' fixed set, never from the arguments.
    $fields = $action === 'delete' ? ['state' => -1] : item_fields($db, $options);
    if ($fields === []) {
        throw new UsageError('item set needs at least one option');
    }
    vantrel_transaction($db, function (PDO $db) use ($id, $fields, $action): void {
        $q = $db->prepare('SELECT state FROM items WHERE id = ?');
        $q->execute([$id]);
        $state = $q->fetchColumn();
        if ($state === false || (int)$state < 0) {
            throw new RuntimeException("no item $id" . ($state === false ? '' : ' (it was deleted)'));
        }
        $set = implode(', ', array_map(fn ($c) => "$c = ?", array_keys($fields)));
        $db->prepare("UPDATE items SET $set, version = version + 1 WHERE id = ?")
           ->execute([...array_values($fields), $id]);
    });
    echo "Item $id " . ($action === 'delete' ? 'deleted' : 'changed') . ".\n";
}

function cmd_results(PDO $db, array $args): void
{
    [$positional, $options] = parse_args($args, ['last'], []);
    if (count($positional) > 1) {
        throw new UsageError('results [ITEM_ID] [--last N]');
    }
    $last = whole_number($options['last'] ?? '10', '--last', 1);
    $q = $db->prepare('SELECT r.item_id, i.name, r.success, r.time, r.response_time, r.code FROM (
            SELECT *, ROW_NUMBER() OVER (PARTITION BY item_id ORDER BY time DESC, rowid DESC) AS age
              FROM results WHERE :item IS NULL OR item_id = :item) r
          LEFT JOIN items i ON i.id = r.item_id
         WHERE r.age <= :last ORDER BY r.item_id, r.time DESC, r.age');
    // Bound as integers: compared with a text, every row number would pass.
    $item = isset($positional[0]) ? whole_number($positional[0], 'ITEM_ID', -2147483648) : null;
    $q->bindValue('item', $item, $item === null ? PDO::PARAM_NULL : PDO::PARAM_INT);
    $q->bindValue('last', $last, PDO::PARAM_INT);
    $q->execute();
    echo "ITEM\tNAME\tRESULT\tTIME\tDATE (monitor's local time)\tRESPONSE_MS\tCODE\n";
    foreach ($q as $r) {
        // The time counts the monitor's local time as if it were UTC.
        printf("%d\t%s\t%s\t%d\t%s\t%d\t%d\n", $r['item_id'], $r['name'] ?? '?',
               $r['success'] ? 'ok' : 'failed', $r['time'], gmdate('Y-m-d H:i:s', (int)$r['time']),
               $r['response_time'], $r['code']);
    }
}

$commands = ['password' => 'cmd_password', 'user' => 'cmd_user', 'item' => 'cmd_item', 'results' => 'cmd_results'];
$args = array_slice($argv, 1);
$command = array_shift($args);
if ($command === null || in_array($command, ['help', '--help', '-h'], true)) {
    fwrite($command === null ? STDERR : STDOUT, USAGE);
    exit($command === null ? 2 : 0);
}
try {
    if (!isset($commands[$command])) {
        throw new UsageError("unknown command \"$command\"");
    }
    $commands[$command](vantrel_open(), $args);
    exit(0);
} catch (UsageError $e) {
    fwrite(STDERR, 'admin.php: ' . $e->getMessage() . "\n\n" . USAGE);
    exit(2);
} catch (Throwable $e) {
    fwrite(STDERR, 'admin.php: ' . $e->getMessage() . "\n");
    exit(1);
}
