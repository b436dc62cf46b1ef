<?php
// The web service that copies of the monitor synchronize with: they test the
// password, fetch the items kept here, confirm their receipt and upload the
// results of their checks. Every request carries the MD5 digest of the
// service password in "pswd".
declare(strict_types=1);

require __DIR__ . '/lib/store.php';

// A request body larger than this is refused unread. A full batch of 1000
// result lines is well under 100 KiB once Base64-encoded.
const MAX_BODY_BYTES = 256 * 1024;
const MAX_RESULT_LINES = 1000;
const MAX_CONFIRM_IDS = 100000;
const INT32_MIN = -2147483648;
const INT32_MAX = 2147483647;

final class HttpError extends Exception
{
}

function fail(int $status, string $why): never
{
    throw new HttpError($why, $status);
}

function answer(int $status, string $body = ''): void
{
    http_response_code($status);
    header('Content-Type: text/plain; charset=utf-8');
    header('Cache-Control: no-store');
    echo $body;
}

/**
 * Reads the posted form without PHP's own decoding: the monitor appends
 * Base64 without percent-escaping, and form decoding would turn its "+" into
 * blanks.
 */
function posted_form(): array
{
    $declared = $_SERVER['CONTENT_LENGTH'] ?? '';
    if ($declared !== '' && (!ctype_digit($declared) || (int)$declared > MAX_BODY_BYTES)) {
        fail(413, 'request body too large');
    }
    $body = file_get_contents('php://input', false, null, 0, MAX_BODY_BYTES + 1);
    if ($body === false || strlen($body) > MAX_BODY_BYTES) {
        fail(413, 'request body too large');
    }
    $form = [];
    foreach (explode('&', $body) as $pair) {
        if ($pair === '') {
            continue;
        }
        [$key, $value] = array_pad(explode('=', $pair, 2), 2, '');
        $form[rawurldecode($key)] = rawurldecode($value);
    }
    return $form;
}

function is_int_text(string $text, int $min, int $max): bool
{
    if (preg_match('/^-?[0-9]{1,19}$/', $text) !== 1) {
        return false;
    }
    $value = filter_var($text, FILTER_VALIDATE_INT);
    return $value !== false && $value >= $min && $value <= $max;
}

function single_line(string $text): string
{
    return str_replace(["\r", "\n"], ' ', $text);
}

function check_password(PDO $db): void
{
    $stored = vantrel_setting($db, 'password_md5');
    $sent = $_GET['pswd'] ?? '';
    if ($stored === null || !is_string($sent) || !hash_equals($stored, strtolower($sent))) {
        fail(401, 'wrong password');
    }
}

function require_method(string $method): void
{
    if (($_SERVER['REQUEST_METHOD'] ?? '') !== $method) {
        header('Allow: ' . $method);
        fail(405, "use $method");
    }
}

function require_list_version(): void
{
    if (($_GET['ver'] ?? null) !== '1.1') {
        fail(400, 'unknown list version');
    }
}

/**
 * The item list: ten lines per record, the tenth "-" when the item keeps the
 * monitor's frequency, otherwise the frequency followed by "-". No line
 * break after the last record, so no reader sees an empty record start.
 */
function item_list(array $items): string
{
    $lines = [];
    foreach ($items as $item) {
        array_push(
            $lines,
            (string)$item['id'],
            single_line($item['owner']),
            single_line($item['email']),
            single_line($item['full_name']),
            (string)$item['state'],
            single_line($item['name']),
            single_line($item['url']),
            (string)$item['check_type'],
            base64_encode($item['search_text']),
        );
        if ((int)$item['frequency'] !== 0) {
            $lines[] = (string)$item['frequency'];
        }
        $lines[] = '-';
    }
    return base64_encode(implode("\r\n", $lines));
}

const ITEM_COLUMNS = 'i.id, i.owner, u.email, u.full_name, i.state, i.name, i.url,
                      i.check_type, i.search_text, i.frequency, i.version';

/** Items changed since the monitors last confirmed them; deleted ones too, so they get removed. */
function mode_items(PDO $db): void
{
    require_method('GET');
    require_list_version();
    $items = vantrel_transaction($db, function (PDO $db): array {
        $items = $db->query('SELECT ' . ITEM_COLUMNS . '
              FROM items i JOIN users u ON u.login = i.owner
              LEFT JOIN confirmations c ON c.item_id = i.id
             WHERE i.version > COALESCE(c.confirmed_version, 0)
             ORDER BY i.id')->fetchAll();
        // Remember which version went out, so that a confirm arriving after
        // a later change does not acknowledge what was never sent.
        $sent = $db->prepare('INSERT INTO confirmations (item_id, sent_version) VALUES (?, ?)
                              ON CONFLICT (item_id) DO UPDATE SET sent_version = excluded.sent_version');
        foreach ($items as $item) {
            $sent->execute([$item['id'], $item['version']]);
        }
        return $items;
    });
    answer(200, item_list($items));
}

/** The whole current list, for a monitor that asks at once; nothing is marked. */
function mode_sync(PDO $db): void
{
    require_method('GET');
    require_list_version();
    $items = $db->query('SELECT ' . ITEM_COLUMNS . '
          FROM items i JOIN users u ON u.login = i.owner
         WHERE i.state >= 0 ORDER BY i.id')->fetchAll();
    answer(200, item_list($items));
}

function mode_confirm(PDO $db): void
{
    require_method('POST');
    $ids = posted_form()['ids'] ?? '';
    if (preg_match('/^-?[0-9]+(,-?[0-9]+)*$/', $ids) !== 1) {
        fail(400, 'ids must be numbers joined by ","');
    }
    $list = explode(',', $ids);
    if (count($list) > MAX_CONFIRM_IDS) {
        fail(400, 'too many ids');
    }
    foreach ($list as $id) {
        if (!is_int_text($id, INT32_MIN, INT32_MAX)) {
            fail(400, "not an item id: $id");
        }
    }
    vantrel_transaction($db, function (PDO $db) use ($list): void {
        $confirm = $db->prepare('UPDATE confirmations SET confirmed_version = sent_version
                                  WHERE item_id = ? AND sent_version > confirmed_version');
        foreach ($list as $id) {
            $confirm->execute([(int)$id]);
        }
    });
    answer(200);
}

/** Counts stats requests and tells whether this one is the one to fail on purpose. */
function stats_fails_on_purpose(PDO $db): bool
{
    $failing = vantrel_env('VANTREL_SERVICE_FAIL_STATS_CHUNK');
    if ($failing === null) {
        return false;
    }
    $count = vantrel_transaction($db, function (PDO $db): int {
        $count = (int)(vantrel_setting($db, 'stats_requests') ?? '0') + 1;
        vantrel_set_setting($db, 'stats_requests', (string)$count);
        return $count;
    });
    return $count === (int)$failing;
}

function parse_results(string $encoded): array
{
    if (strlen($encoded) % 4 !== 0 || preg_match('#^[A-Za-z0-9+/]*={0,2}$#', $encoded) !== 1) {
        fail(400, 'his is not Base64');
    }
    $text = base64_decode($encoded, true);
    if ($text === false) {
        fail(400, 'his is not Base64');
    }
    $lines = preg_split('/\r\n|\r|\n/', $text);
    if (end($lines) === '') {
        array_pop($lines);
    }
    if (count($lines) > MAX_RESULT_LINES) {
        fail(400, 'more than ' . MAX_RESULT_LINES . ' results');
    }
    $results = [];
    foreach ($lines as $number => $line) {
        $fields = array_map('trim', explode(',', $line));
        $ok = count($fields) === 5
            && is_int_text($fields[0], INT32_MIN, INT32_MAX)
            && ($fields[1] === '-1' || $fields[1] === '0')
            && is_int_text($fields[2], PHP_INT_MIN, PHP_INT_MAX)
            && is_int_text($fields[3], 0, PHP_INT_MAX)
            && is_int_text($fields[4], 0, PHP_INT_MAX);
        if (!$ok) {
            fail(400, 'result line ' . ($number + 1) . ' is not five numbers');
        }
        $results[] = array_map('intval', $fields);
    }
    return $results;
}

function mode_stats(PDO $db): void
{
    require_method('POST');
    $form = posted_form();
    if (stats_fails_on_purpose($db)) {
        fail(500, 'failing this stats request on purpose');
    }
    if (!isset($form['his'])) {
        fail(400, 'his is missing');
    }
    $results = parse_results($form['his']);
    vantrel_transaction($db, function (PDO $db) use ($results): void {
        $store = $db->prepare('INSERT OR IGNORE INTO results
            (item_id, success, time, response_time, code, received_at) VALUES (?, ?, ?, ?, ?, ?)');
        $now = time();
        foreach ($results as [$item, $success, $time, $responseTime, $code]) {
            $store->execute([$item, $success, $time, $responseTime, $code, $now]);
        }
    });
    answer(200);
}

$modes = [
    'test' => fn (PDO $db) => answer(200, 'OK'),
    'items' => 'mode_items',
    'confirm' => 'mode_confirm',
    'stats' => 'mode_stats',
    'sync' => 'mode_sync',
];

try {
    $mode = $_GET['mode'] ?? null;
    if (!is_string($mode) || !isset($modes[$mode])) {
        fail(400, 'unknown mode');
    }
    $db = vantrel_open();
    check_password($db);
    $modes[$mode]($db);
} catch (HttpError $e) {
    answer($e->getCode(), $e->getMessage() . "\n");
} catch (Throwable $e) {
    error_log('vantrel service: ' . $e);
    answer(500, "internal error\n");
}
