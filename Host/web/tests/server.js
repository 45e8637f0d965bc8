// Starts plughost serve for a test: loopback, port 0, no browser opened. The
// address (with its token) is read from what the server prints.
const { spawn } = require('node:child_process');
const path = require('node:path');

const plughost = process.env.PLUGHOST || path.join(__dirname, '../../../build/release/bin/plughost');

function startServer(args = []) {
  const proc = spawn(plughost, ['serve', ...args, '--port', '0', '--no-open'], { stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  const exited = new Promise((resolve) => proc.on('exit', (code, signal) => resolve({ code, signal })));
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`plughost serve printed no address:\n${output}`)), 30_000);
    const onData = (chunk) => {
      output += chunk;
      const m = output.match(/Open (http:\/\/[^\s]+\?token=([0-9a-f]+))/);
      if (!m) return;
      clearTimeout(timer);
      const url = new URL(m[1]);
      resolve({
        url: m[1],
        origin: url.origin,
        host: url.host,
        port: Number(url.port),
        token: m[2],
        output: () => output,
        exited,
        // Ctrl-C: the server ends cleanly, with status 0.
        async stop() {
          if (proc.exitCode === null && proc.signalCode === null) proc.kill('SIGINT');
          return exited;
        },
      });
    };
    proc.stdout.setEncoding('utf8');
    proc.stderr.setEncoding('utf8');
    proc.stdout.on('data', onData);
    proc.stderr.on('data', (chunk) => { output += chunk; });
    proc.on('exit', () => { clearTimeout(timer); reject(new Error(`plughost serve ended:\n${output}`)); });
  });
}

module.exports = { plughost, startServer };
