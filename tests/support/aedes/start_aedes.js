// A private aedes broker for the tests: node start_aedes.js PORT
// Listens on 127.0.0.1:PORT, prints "listening" once it accepts connections, ends on SIGTERM.
'use strict'
const { createServer } = require('node:net')
const { Aedes } = require('aedes')

async function main () {
  const port = Number(process.argv[2])
  if (!Number.isInteger(port) || port <= 0 || port > 65535) {
    console.error('usage: node start_aedes.js PORT')
    process.exit(2)
  }
  const broker = await Aedes.createBroker()
  // Nagle off, as with the tests' mosquitto, so that small packets are not held back
  const server = createServer((socket) => {
    socket.setNoDelay(true)
    broker.handle(socket)
  })
  server.listen(port, '127.0.0.1', () => console.log('listening'))
  const stop = () => server.close(() => broker.close(() => process.exit(0)))
  process.on('SIGTERM', stop)
  process.on('SIGINT', stop)
}

main().catch((err) => {
  console.error(err)
  process.exit(1)
})
