#!/usr/bin/env python3
"""Drives the reference web service like a monitor would: test, items,
confirm, stats and sync, plus the administration tool."""
import base64, os, socket, sqlite3, subprocess, sys, tempfile, time, unittest
import urllib.error, urllib.request

SERVICE = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), '../../service'))
DIGEST = '5ebe2294ecd0e0f08eab7690d2a6ee69'  # MD5 of "secret"


def parse_items(body):
    """Reads an item list record by record, the way the monitor does."""
    text = base64.b64decode(body).decode()
    lines = text.replace('\r\n', '\n').replace('\r', '\n').split('\n')
    if text == '' or text.endswith('\n'):
        lines.pop()
    items, p = [], 0
    while p < len(lines):
        rec = lines[p:p + 10]
        item = dict(id=int(rec[0]), user=rec[1], email=rec[2], full=rec[3], state=int(rec[4]),
                    name=rec[5], url=rec[6], type=int(rec[7]) & 255,
                    search=base64.b64decode(rec[8]).decode())
        if rec[9].strip() == '-':
            item['freq'], p = 0, p + 10
        else:
            item['freq'], p = int(rec[9] or 0), p + 11
            assert lines[p - 1] == '-', lines[p - 1]  # the service ends each record with "-"
        items.append(item)
    return items


class ServiceTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.db = os.path.join(self.tmp.name, 'service.sqlite')
        self.env = dict(os.environ, VANTREL_SERVICE_DB=self.db, VANTREL_SERVICE_FAIL_STATS_CHUNK='2')
        with socket.socket() as s:
            s.bind(('127.0.0.1', 0))
            self.port = s.getsockname()[1]
        self.server = subprocess.Popen(['php', '-S', f'127.0.0.1:{self.port}', '-t', SERVICE],
                                       env=self.env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.addCleanup(self.tmp.cleanup)
        self.addCleanup(self.server.wait)
        self.addCleanup(self.server.kill)
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(('127.0.0.1', self.port), timeout=1).close()
                break
            except OSError:
                self.assertLess(time.monotonic(), deadline, 'php -S never accepted connections')
                self.assertIsNone(self.server.poll(), 'php -S ended')
        self.admin('password', 'secret')
        self.admin('user', 'add', 'ann', '--email', 'ann@example.org', '--name', 'Ann Example')
        self.admin('item', 'add', '--owner', 'ann', '--name', 'Home', '--url', 'http://127.0.0.1/',
                   '--search', 'Welcome\r\nhome', '--frequency', '300')
        self.admin('item', 'add', '--owner', 'ann', '--name', 'Router', '--url', '127.0.0.1',
                   '--type', 'ping', '--suspended')

    def admin(self, *args, code=0):
        run = subprocess.run(['php', os.path.join(SERVICE, 'admin.php'), *args], env=self.env,
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, code, run.stderr)
        return run.stdout

    def call(self, mode, body=None, query='', pswd=DIGEST):
        url = f'http://127.0.0.1:{self.port}/synchronize.php?mode={mode}{query}&pswd={pswd}'
        req = urllib.request.Request(url, data=body and body.encode(), headers={
            'User-Agent': 'Vantrel', 'Pragma': 'no-cache', 'Cache-Control': 'no-cache',
            'Content-Type': 'application/x-www-form-urlencoded'})
        try:
            with urllib.request.urlopen(req, timeout=30) as answer:
                return answer.status, answer.read().decode()
        except urllib.error.HTTPError as e:
            return e.code, e.read().decode()

    def items(self, mode='items'):
        status, body = self.call(mode, query='&ver=1.1')
        self.assertEqual(status, 200, body)
        return parse_items(body)

    def stats(self, lines):
        return self.call('stats', 'his=' + base64.b64encode(
            ''.join(f'{i}, {s}, {t}, {r}, {c}\n' for i, s, t, r, c in lines).encode()).decode())[0]

    def results(self):
        with sqlite3.connect(self.db) as db:
            return db.execute('SELECT item_id, success, time, response_time, code FROM results'
                              ' ORDER BY rowid').fetchall()

    def test_the_monitors_conversation(self):
        self.assertEqual(self.call('test')[0], 200)
        for mode in ('test', 'items', 'confirm', 'stats', 'sync'):
            self.assertEqual(self.call(mode, pswd='0' * 32)[0], 401, mode)

        home = dict(id=1, user='ann', email='ann@example.org', full='Ann Example', state=0,
                    name='Home', url='http://127.0.0.1/', type=1, search='Welcome\r\nhome', freq=300)
        router = dict(home, id=2, state=1, name='Router', url='127.0.0.1', type=0, search='', freq=0)
        self.assertEqual(self.items(), [home, router])
        self.assertEqual(self.items(), [home, router], 'nothing is marked before confirm')
        self.assertEqual(self.call('confirm', 'ids=1,2')[0], 200)
        self.assertEqual(self.items(), [])

        self.admin('item', 'set', '2', '--active', '--name', 'Gateway')
        self.admin('item', 'delete', '1')
        self.assertEqual(self.items(), [dict(home, state=-1), dict(router, state=0, name='Gateway')])
        self.assertEqual(self.items('sync'), [dict(router, state=0, name='Gateway')])
        self.assertEqual(self.call('confirm', 'ids=1,2')[0], 200)
        self.assertEqual(self.items(), [])
        self.admin('item', 'add', '--owner', 'ann', '--name', 'Mail', '--url', 'mx', '--type', 'smtp')
        self.assertEqual([i['id'] for i in self.items('sync')], [2, 3], 'sync needs no confirm')

        # Times are the monitor's local time as if UTC, stored as sent.
        first = [(2, -1, 1700000000 + n, 120 + n, 200) for n in range(60)] + [(2, 0, 1700000100, 0, 408)]
        self.assertEqual(self.stats(first), 200)
        self.assertEqual(self.results(), first)
        self.assertEqual(self.stats(first[:30]), 500, 'the second stats request fails on purpose')
        self.assertEqual(self.stats(first), 200, 'the same batch again')
        self.assertEqual(self.results(), first)

        for bad in ['his=not base64!', 'his=' + base64.b64encode(b'2, -1, 5, 6\n').decode(),
                    'his=' + base64.b64encode(b'2, -1, 5, 6, 7\n2, x, 5, 6, 7\n').decode(), 'nothing=1']:
            self.assertEqual(self.call('stats', bad)[0], 400, bad)
        for bad in ['ids=1,,2', 'ids=', 'ids=1;DROP']:
            self.assertEqual(self.call('confirm', bad)[0], 400, bad)
        self.assertEqual(self.call('frob')[0], 400)
        self.assertEqual(self.call('items')[0], 400, 'no list version')
        self.assertEqual(self.call('stats', 'his=' + 'A' * 400000)[0], 413)
        self.assertEqual(self.results(), first)

        listing = self.admin('results', '2', '--last', '2')
        self.assertIn('1700000100\t2023-11-14 22:15:00\t0\t408', listing)
        self.assertEqual(len(listing.splitlines()), 3)
        self.admin('item', 'add', '--owner', 'nobody', '--name', 'x', '--url', 'y', code=1)
        self.admin('item', 'add', '--name', 'x', code=2)

    def test_a_batch_in_three_chunks_with_the_second_failing(self):
        batch = [(1, -1 if n % 7 else 0, 1700000000 + n, n % 900, 200) for n in range(2500)]
        codes = [self.stats(batch[at:at + 1000]) for at in range(0, 2500, 1000)]
        self.assertEqual(codes, [200, 500, 200])
        self.assertEqual(self.results(), batch[:1000] + batch[2000:])
        self.assertEqual(self.stats(batch[:1001]), 400, 'at most 1000 lines per request')


if __name__ == '__main__':
    unittest.main()
